// TVst3Factory: the factory of one effect's VST3 module (what its export
// GetPluginFactory returns), which describes and makes the effect's
// plug-in (TVst3Plugin): one class, "Audio Module Class". The factory is
// one static object: its references are not counted.
#pragma once

#include <travesty/factory.h>

#include <cstring>
#include <iterator>
#include <type_traits>

#include "Product.h"
#include "Vst3Interface.h"
#include "Vst3Plugin.h"

template <class Effect>
struct TVst3Factory {
    using Plugin = TVst3Plugin<Effect>;
    using Description = typename Effect::Description;

    static constexpr char kCategory[] = "Audio Module Class";
    static constexpr char kSdkVersion[] = "Travesty 3.7.4";

    // Any thread.
    static v3_result V3_API queryFactory(void* self, const v3_tuid iid, void** object) noexcept {
        if (object == nullptr) return V3_INVALID_ARG;
        const bool known = iid != nullptr &&
                           (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
                            v3_tuid_match(iid, v3_plugin_factory_2_iid) || v3_tuid_match(iid, v3_plugin_factory_3_iid));
        *object = known ? self : nullptr;
        return known ? V3_OK : V3_NO_INTERFACE;
    }
    static std::uint32_t V3_API keep(void*) noexcept { return 1; }

    // Main thread, as every function below.
    static v3_result V3_API factoryInfo(void*, v3_factory_info* info) noexcept {
        if (info == nullptr) return V3_INVALID_ARG;
        *info = {};
        std::strncpy(info->vendor, product::kVendor, sizeof(info->vendor) - 1);
        info->flags = 0x10;  // strings in UTF-16 where the interface has both
        return V3_OK;
    }
    static std::int32_t V3_API classCount(void*) noexcept { return 1; }

    // A text into a field of the class info: as it is, or in UTF-16.
    template <std::size_t kSize>
    static void copyText(char (&field)[kSize], const char* text) noexcept {
        std::strncpy(field, text, kSize - 1);
    }
    template <std::size_t kSize>
    static void copyText(std::int16_t (&field)[kSize], const char* text) noexcept {
        toUtf16(text, field, kSize);
    }

    // The class info of the one class, in any of the interface's three forms.
    template <class Info>
    static v3_result describe(std::int32_t index, Info* info) noexcept {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        *info = {};
        vst3ClassId(Description::uniqueId, info->class_id);
        info->cardinality = 0x7FFFFFFF;  // any number of instances
        copyText(info->category, kCategory);
        copyText(info->name, Description::name);
        if constexpr (!std::is_same_v<Info, v3_class_info>) {
            copyText(info->sub_categories, Effect::names.vst3Categories);
            copyText(info->vendor, product::kVendor);
            copyText(info->version, product::kVersion);
            copyText(info->sdk_version, kSdkVersion);
        }
        return V3_OK;
    }
    static v3_result V3_API classInfo(void*, std::int32_t index, v3_class_info* info) noexcept {
        return describe(index, info);
    }
    static v3_result V3_API classInfo2(void*, std::int32_t index, v3_class_info_2* info) noexcept {
        return describe(index, info);
    }
    static v3_result V3_API classInfoUtf16(void*, std::int32_t index, v3_class_info_3* info) noexcept {
        return describe(index, info);
    }

    static v3_result V3_API setHostContext(void*, v3_funknown**) noexcept { return V3_OK; }

    static v3_result V3_API createInstance(void*, const v3_tuid classId, const v3_tuid iid, void** instance) noexcept {
        if (instance == nullptr) return V3_INVALID_ARG;
        *instance = nullptr;
        v3_tuid ours;
        vst3ClassId(Description::uniqueId, ours);
        if (classId == nullptr || iid == nullptr || !v3_tuid_match(classId, ours)) return V3_NO_INTERFACE;
        return Plugin::create(iid, instance);
    }

    static constexpr v3_plugin_factory_cpp kFactoryTable = {{queryFactory, keep, keep},
                                                            {factoryInfo, classCount, classInfo, createInstance},
                                                            {classInfo2},
                                                            {classInfoUtf16, setHostContext}};
    // What the host holds: a pointer to the table.
    static constexpr const v3_plugin_factory_cpp* factory = &kFactoryTable;

    // What a host holds: a pointer to the factory's interface pointer.
    static const void* instance() noexcept { return static_cast<const void*>(&factory); }
};
