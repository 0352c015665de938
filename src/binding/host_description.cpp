// Building the packed host description from registry snapshots.
#include "binding/host_description.h"

#include <cstring>

namespace hpk {
namespace {

constexpr const char kNoText[] = "";

std::uint32_t ExportedKind(BindingTypeKind kind) {
    return IsKnownTypeKind(kind) ? static_cast<std::uint32_t>(kind) : 0;
}

// The identifier the host sees: the export identifier when one was given.
HostTypeTriple Triple(const BindingTypeIdentifier& declared, const BindingTypeIdentifier& exported) {
    const BindingTypeIdentifier& type = exported.kind != BindingTypeKind::None ? exported : declared;
    HostTypeTriple triple{};
    triple.kind = ExportedKind(type.kind);
    triple.elementKind = ExportedKind(type.elementKind);
    triple.name = kNoText;
    switch (type.kind) {
        case BindingTypeKind::Vector:
        case BindingTypeKind::Enum:
        case BindingTypeKind::Struct:
        case BindingTypeKind::Map:
            if (type.info != nullptr) triple.name = type.info->name.c_str();
            break;
        default: break;
    }
    return triple;
}

}  // namespace

template <class T>
void BindingHostDescription::Chain(Array<T>& array) {
    for (std::size_t i = 0; i < array.size(); ++i) {
        array[i].next = i + 1 < array.size() ? &array[i + 1] : nullptr;
    }
}

BindingHostDescription::BindingHostDescription(const std::vector<const BindingFunctionInfo*>& functions,
                                               const std::vector<const BindingStructInfo*>& types,
                                               const std::vector<const BindingEventInfo*>& events) {
    functions_.resize(functions.size());
    for (std::size_t i = 0; i < functions.size(); ++i) BuildFunction(functions_[i], *functions[i]);
    Chain(functions_);

    types_.resize(types.size());
    for (std::size_t i = 0; i < types.size(); ++i) BuildType(types_[i], *types[i]);
    Chain(types_);

    events_.resize(events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
        const BindingEventInfo& event = *events[i];
        HostEventRecord& record = events_[i];
        record = HostEventRecord{};
        record.name = event.name.c_str();
        record.nameSpace = event.nameSpace.c_str();
        // An event whose payload type was never registered has no name to
        // give; the host gets an empty one rather than a dangling pointer.
        record.payloadTypeName = event.payload != nullptr ? event.payload->name.c_str() : kNoText;
        record.description = event.description.c_str();
        record.tags = TagArray(event.tags);
        record.tagCount = static_cast<std::uint32_t>(event.tags.size());
    }
    Chain(events_);
}

const char* const* BindingHostDescription::TagArray(const std::vector<std::string>& tags) {
    if (tags.empty()) return nullptr;
    TextArray& texts = tagArrays_.emplace_back();
    texts.reserve(tags.size());
    for (const std::string& tag : tags) texts.push_back(tag.c_str());
    return texts.data();
}

void BindingHostDescription::BuildFunction(HostFunctionRecord& record, const BindingFunctionInfo& function) {
    record = HostFunctionRecord{};
    if (!function.arguments.empty()) {
        Array<HostArgumentRecord>& arguments = arguments_.emplace_back(function.arguments.size());
        for (std::size_t i = 0; i < arguments.size(); ++i) {
            const BindingArgumentInfo& argument = function.arguments[i];
            arguments[i].name = argument.name.c_str();
            arguments[i].description = argument.description.c_str();
            arguments[i].type = Triple(argument.type, argument.exportType);
            arguments[i].optional = argument.optional ? 1 : 0;
        }
        Chain(arguments);
        record.arguments = arguments.data();
    }
    record.argumentCount = static_cast<std::uint32_t>(function.arguments.size());
    record.name = function.name.c_str();
    record.nameSpace = function.nameSpace.c_str();
    record.result = Triple(function.result, function.exportResult);
    record.description = function.description.c_str();
    record.help = function.help.c_str();
    record.threadSafe = function.threadSafe ? 1 : 0;
    record.asyncTypeName = kNoText;
    if (function.async && function.result.info != nullptr) record.asyncTypeName = function.result.info->name.c_str();
    record.tags = TagArray(function.tags);
    record.tagCount = static_cast<std::uint32_t>(function.tags.size());
}

void BindingHostDescription::BuildType(HostTypeRecord& record, const BindingStructInfo& type) {
    record = HostTypeRecord{};
    record.name = type.name.c_str();
    record.nameSpace = type.nameSpace.c_str();
    record.size = type.size;
    record.description = type.description.c_str();
    record.tags = TagArray(type.tags);
    record.tagCount = static_cast<std::uint32_t>(type.tags.size());
    if (!type.fields.empty()) {
        Array<HostFieldRecord>& fields = fields_.emplace_back(type.fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const BindingFieldInfo& field = type.fields[i];
            fields[i].name = field.name.c_str();
            fields[i].description = field.description.c_str();
            fields[i].offset = field.offset;
            fields[i].type = Triple(field.type, field.exportType);
            fields[i].optional = field.optional ? 1 : 0;
        }
        Chain(fields);
        record.fields = fields.data();
        record.count = static_cast<std::uint32_t>(fields.size());
        return;
    }
    // A type without fields is exported like an enumeration, with its
    // (possibly zero) enumerators in name order.
    record.count = static_cast<std::uint32_t>(type.enumerators.size());
    if (type.enumerators.empty()) return;
    Array<HostEnumeratorRecord>& enumerators = enumerators_.emplace_back(type.enumerators.size());
    std::size_t i = 0;
    for (const auto& [name, enumerator] : type.enumerators) {
        enumerators[i].name = enumerator.name.c_str();
        enumerators[i].description = enumerator.description.c_str();
        enumerators[i].value = enumerator.value;
        ++i;
    }
    Chain(enumerators);
    record.enumerators = enumerators.data();
}

const HostFunctionRecord* BindingHostDescription::FindFunctionRecord(std::string_view name) const {
    for (const HostFunctionRecord& record : functions_) {
        if (record.name != nullptr && name == record.name) return &record;
    }
    return nullptr;
}

void BindingHostDescription::FillTable(HostTableRecord& table) {
    table.types = Types();
    table.typeCount = TypeCount();
    table.events = Events();
    table.eventCount = EventCount();
}

}  // namespace hpk
