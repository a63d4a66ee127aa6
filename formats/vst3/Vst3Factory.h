// TVst3Factory: the factory of one effect's VST3 module (what its export
// GetPluginFactory returns), which describes and makes the effect's
// plug-in (TVst3Plugin): one class, "Audio Module Class". The factory is
// one static object: its references are not counted.
#pragma once

#include <travesty/factory.h>

#include <cstring>
#include <iterator>

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
        const bool known =
            iid != nullptr && (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
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

    static v3_result V3_API classInfo(void*, std::int32_t index, v3_class_info* info) noexcept {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        *info = {};
        vst3ClassId(Description::uniqueId, info->class_id);
        info->cardinality = 0x7FFFFFFF;  // any number of instances
        std::strncpy(info->category, kCategory, sizeof(info->category) - 1);
        std::strncpy(info->name, Description::name, sizeof(info->name) - 1);
        return V3_OK;
    }

    static v3_result V3_API classInfo2(void*, std::int32_t index, v3_class_info_2* info) noexcept {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        v3_class_info plain;
        classInfo(nullptr, 0, &plain);
        *info = {};
        std::memcpy(info->class_id, plain.class_id, sizeof(v3_tuid));
        info->cardinality = plain.cardinality;
        std::memcpy(info->category, plain.category, sizeof(info->category));
        std::memcpy(info->name, plain.name, sizeof(info->name));
        std::strncpy(info->sub_categories, Effect::vst3Categories, sizeof(info->sub_categories) - 1);
        std::strncpy(info->vendor, product::kVendor, sizeof(info->vendor) - 1);
        std::strncpy(info->version, product::kVersion, sizeof(info->version) - 1);
        std::strncpy(info->sdk_version, kSdkVersion, sizeof(info->sdk_version) - 1);
        return V3_OK;
    }

    static v3_result V3_API classInfoUtf16(void*, std::int32_t index, v3_class_info_3* info) noexcept {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        v3_class_info_2 narrow;
        classInfo2(nullptr, 0, &narrow);
        *info = {};
        std::memcpy(info->class_id, narrow.class_id, sizeof(v3_tuid));
        info->cardinality = narrow.cardinality;
        std::memcpy(info->category, narrow.category, sizeof(info->category));
        toUtf16(narrow.name, info->name, std::size(info->name));
        std::memcpy(info->sub_categories, narrow.sub_categories, sizeof(info->sub_categories));
        toUtf16(narrow.vendor, info->vendor, std::size(info->vendor));
        toUtf16(narrow.version, info->version, std::size(info->version));
        toUtf16(narrow.sdk_version, info->sdk_version, std::size(info->sdk_version));
        return V3_OK;
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
