// A URID map for the LV2 test host and the benchmark: a URID is the
// position of its URI in the list of URIs mapped so far, from 1. Main
// thread only (a real-time host would map ahead).
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/urid/urid.h>

#include <string>
#include <vector>

namespace velmora::host {

class UridMap {
public:
    UridMap() = default;
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID urid(const char* uri) { return mapUri(this, uri); }
    // The feature that hands the map to a plug-in.
    const LV2_Feature* feature() const noexcept { return &mapFeature; }

private:
    static LV2_URID mapUri(LV2_URID_Map_Handle handle, const char* uri) {
        auto& uris = static_cast<UridMap*>(handle)->uris;
        for (std::size_t i = 0; i < uris.size(); ++i) {
            if (uris[i] == uri) return LV2_URID(i + 1);
        }
        uris.emplace_back(uri);
        return LV2_URID(uris.size());
    }

    std::vector<std::string> uris;
    LV2_URID_Map map{this, mapUri};
    LV2_Feature mapFeature{LV2_URID__map, &map};
};

}  // namespace velmora::host
