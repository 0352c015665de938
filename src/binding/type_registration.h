// Declarative registration of C++ records: a structure is the list of its
// fields, an enumeration the list of its enumerators. Offsets come from the
// member pointers, converters and type identifiers from the members' C++
// types. Registration is get-or-create by name: a second registration of the
// same name keeps the first description and ignores the lists.
//
//   struct PlatformConfig { bool Enabled = false; std::string Mapping; std::uint32_t LaneFilterThreshold = 7; };
//   enum class LoginSessionState { InProgress = 0, Succeeded = 1, LoggingOut = 2, Error = 3 };
//
//   RegisterStruct<PlatformConfig>(registry, "HpkBeArxContentTargetingPlatformConfig",
//                                  {Field("Enabled", &PlatformConfig::Enabled),
//                                   Field("Mapping", &PlatformConfig::Mapping).OmitWhenEmpty(),
//                                   Field("LaneFilterThreshold", &PlatformConfig::LaneFilterThreshold)})
//       .SetDescription("Platform configuration").AddTag("config");
//   RegisterEnum<LoginSessionState>(registry, "HpkBeArxContentTargetingLoginSessionState",
//                                   {{"IN_PROGRESS", LoginSessionState::InProgress},
//                                    {"ERROR", LoginSessionState::Error}, ...});
//   RegisterEvent<PluginResourceEvent>(registry, "OnJsonApiEvent").SetDescription("...");
//
// Register nested types (a field's struct or enum, a vector's element) before
// the record that uses them, so the field's identifier carries their description.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string_view>
#include <type_traits>

#include "binding/binding_convert.h"
#include "binding/type_registry.h"

namespace hpk {

// One field of Record, made by Field(). Copyable; holds views of the texts
// given, which are copied when the structure is registered.
template <class Record>
class BindingField {
public:
    template <class Member>
    BindingField(std::string_view name, Member Record::*member)
        : name_(name), offset_(OffsetOf(member)), record_(&TypeRecordOf<Member>), identify_(&TypeIdentifierOf<Member>),
          makeConverter_(&MakeConverter<Member>) {}

    BindingField& Describe(std::string_view description) {
        description_ = description;
        return *this;
    }
    BindingField& Required() {
        flags_ |= kFieldRequired;
        return *this;
    }
    BindingField& OmitWhenEmpty() {
        flags_ |= kFieldOmitWhenEmpty;
        return *this;
    }
    // Reported to the host as optional; conversion ignores it.
    BindingField& Optional() {
        optional_ = true;
        return *this;
    }
    // Describe the field to the host as native type T instead of its own.
    template <class T>
    BindingField& ExportAs() {
        exportIdentify_ = &TypeIdentifierOf<T>;
        return *this;
    }

    // Appends the field through `builder` (a no-op when the type existed).
    void AddTo(BindingTypeBuilder& builder, const BindingTypeRegistry& registry) const {
        builder.AddField(name_, description_, offset_, record_(), identify_(registry),
                         exportIdentify_ != nullptr ? exportIdentify_(registry) : BindingTypeIdentifier{}, flags_,
                         makeConverter_(), optional_);
    }

private:
    template <class Member>
    static std::uint32_t OffsetOf(Member Record::*member) {
        static_assert(std::is_default_constructible_v<Record>, "registered records must be default-constructible");
        // Measured on a real object, so no pointer is formed outside one.
        const Record probe{};
        return static_cast<std::uint32_t>(reinterpret_cast<const unsigned char*>(&(probe.*member)) -
                                          reinterpret_cast<const unsigned char*>(&probe));
    }
    template <class Member>
    static std::unique_ptr<BindingFieldConverter> MakeConverter() {
        return std::make_unique<BindingFieldConverterFor<Member>>();
    }

    std::string_view name_;
    std::string_view description_;
    std::uint32_t offset_;
    const BindingTypeRecord& (*record_)();
    BindingTypeIdentifier (*identify_)(const BindingTypeRegistry&);
    std::unique_ptr<BindingFieldConverter> (*makeConverter_)();
    BindingTypeIdentifier (*exportIdentify_)(const BindingTypeRegistry&) = nullptr;
    std::uint8_t flags_ = 0;
    bool optional_ = false;
};

template <class Record, class Member>
BindingField<Record> Field(std::string_view name, Member Record::*member) {
    return BindingField<Record>(name, member);
}

// One enumerator: a name, its value (an int32 or a value of the enum itself)
// and an optional description.
struct BindingEnumerator {
    BindingEnumerator(std::string_view enumeratorName, std::int32_t enumeratorValue,
                      std::string_view enumeratorDescription = {})
        : name(enumeratorName), value(enumeratorValue), description(enumeratorDescription) {}
    template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
    BindingEnumerator(std::string_view enumeratorName, E enumeratorValue, std::string_view enumeratorDescription = {})
        : name(enumeratorName), value(static_cast<std::int32_t>(enumeratorValue)), description(enumeratorDescription) {}

    std::string_view name;
    std::int32_t value;
    std::string_view description;
};

// Registers Record under `name` with `fields` in order. Returns the builder
// for SetDescription/AddTag/SetNameSpace (all no-ops when the name existed).
template <class Record>
BindingTypeBuilder RegisterStruct(BindingTypeRegistry& registry, std::string_view name,
                                  std::initializer_list<BindingField<Record>> fields) {
    BindingTypeBuilder builder =
        registry.RegisterType(static_cast<std::uint32_t>(sizeof(Record)), name, TypeRecordOf<Record>(), false);
    if (builder.Existed()) return builder;
    for (const BindingField<Record>& field : fields) field.AddTo(builder, registry);
    return builder;
}

// Registers enumeration E under `name` with `enumerators` (any order; they
// are kept in name order).
template <class E>
BindingTypeBuilder RegisterEnum(BindingTypeRegistry& registry, std::string_view name,
                                std::initializer_list<BindingEnumerator> enumerators) {
    static_assert(std::is_enum_v<E>, "RegisterEnum takes an enumeration type");
    BindingTypeBuilder builder =
        registry.RegisterType(static_cast<std::uint32_t>(sizeof(E)), name, TypeRecordOf<E>(), true);
    for (const BindingEnumerator& enumerator : enumerators) {
        builder.AddEnumerator(enumerator.name, enumerator.value, enumerator.description);
    }
    return builder;
}

// Registers an event whose payload is native type Payload (register the
// payload type first).
template <class Payload>
BindingEventBuilder RegisterEvent(BindingTypeRegistry& registry, std::string_view name) {
    return registry.RegisterEvent(name, TypeRecordOf<Payload>());
}

}  // namespace hpk
