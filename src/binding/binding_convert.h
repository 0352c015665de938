// Typed conversion between dynamic values and native C++ values:
//
//   template <class T> void FromValue(BindingResult& result, T& target, const BindingValue& value,
//                                     std::string_view path, const BindingTypeRegistry& registry);
//   template <class T> void ToValue(BindingResult& result, const T& source,
//                                   const BindingTypeRegistry& registry);
//
// T may be bool, any integer type, float, double, std::string, BindingValue
// (passed through), std::vector<std::uint8_t> (a blob), std::vector of any
// supported T, a registered enumeration or a registered structure (see
// type_registration.h). FromValue does nothing when `result` has already
// failed (the first error wins); on failure the target keeps what was assigned
// before the failing field. ToValue replaces the result's value, or sets the
// error; it also does nothing on a failed result. `path` names the value in
// messages: "<value>" for a resource payload, "<result>" for a response body,
// the parameter name for an argument. The registry is only read; its lock is
// taken only to look a description up.
//
// Example:
//   struct Point { std::int32_t x = 0; std::int32_t y = 0; };
//   RegisterStruct<Point>(registry, "Point", {Field("x", &Point::x), Field("y", &Point::y)});
//   BindingValue input;  input.Member("x").SetString("0x1F");
//   Point point;  BindingResult result;
//   FromValue(result, point, input, "<value>", registry);   // point.x == 31, point.y == 0
//   ToValue(result, point, registry);                       // {"x": 31, "y": 0}
#pragma once
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "binding/binding_type_info.h"
#include "binding/binding_value.h"
#include "binding/convert_native.h"
#include "binding/convert_number.h"
#include "binding/type_registry.h"

namespace hpk {

enum class BindingNativeCategory {
    Bool,
    Integer,
    Floating,
    String,
    Object,
    Blob,
    Vector,
    Enum,
    Struct,
    Unsupported,
};

namespace detail {
template <class T>
struct IsStdVector : std::false_type {};
template <class E, class A>
struct IsStdVector<std::vector<E, A>> : std::true_type {};
}  // namespace detail

template <class T>
constexpr BindingNativeCategory NativeCategoryOf() {
    if constexpr (std::is_same_v<T, bool>) {
        return BindingNativeCategory::Bool;
    } else if constexpr (std::is_integral_v<T>) {
        return BindingNativeCategory::Integer;
    } else if constexpr (std::is_same_v<T, float> || std::is_same_v<T, double>) {
        return BindingNativeCategory::Floating;
    } else if constexpr (std::is_same_v<T, std::string>) {
        return BindingNativeCategory::String;
    } else if constexpr (std::is_same_v<T, BindingValue>) {
        return BindingNativeCategory::Object;
    } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
        return BindingNativeCategory::Blob;
    } else if constexpr (detail::IsStdVector<T>::value) {
        return BindingNativeCategory::Vector;
    } else if constexpr (std::is_enum_v<T>) {
        return BindingNativeCategory::Enum;
    } else if constexpr (std::is_class_v<T>) {
        return BindingNativeCategory::Struct;
    } else {
        return BindingNativeCategory::Unsupported;
    }
}

// Per-category conversion of native type T. Each specialization offers:
//   Identify(registry)  -> the BindingTypeIdentifier of T (info looked up now)
//   Describe(registry)  -> the registered description T's conversion needs
//                          (the element's for a vector), or null
//   From(result, target, value, path, info, registry, options)
//   To(status, target value, source, info, registry)
//   IsEmpty(source, info, registry) -> To would give an omittable value
// `info` null means "look it up by T's record when needed".
template <class T, BindingNativeCategory C = NativeCategoryOf<T>()>
struct BindingNative {
    static_assert(C != BindingNativeCategory::Unsupported, "this native type cannot be converted");
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Bool> {
    static constexpr BindingTypeKind kKind = BindingTypeKind::Bool;
    static bool IsEmpty(bool source, const BindingStructInfo*, const BindingTypeRegistry&) { return !source; }
    static const BindingStructInfo* Describe(const BindingTypeRegistry&) { return nullptr; }
    static void From(BindingResult& result, bool& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo*, const BindingTypeRegistry&, std::uint32_t) {
        FromValue(result, target, value, path);
    }
    static void To(BindingResult&, BindingValue& target, bool source, const BindingStructInfo*,
                   const BindingTypeRegistry&) {
        target.SetBool(source);
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Integer> {
    static constexpr BindingTypeKind kKind = IntegerKindOf<T>();
    static bool IsEmpty(T source, const BindingStructInfo*, const BindingTypeRegistry&) { return source == 0; }
    static const BindingStructInfo* Describe(const BindingTypeRegistry&) { return nullptr; }
    static void From(BindingResult& result, T& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo*, const BindingTypeRegistry&, std::uint32_t) {
        FromValue(result, target, value, path);
    }
    static void To(BindingResult&, BindingValue& target, T source, const BindingStructInfo*,
                   const BindingTypeRegistry&) {
        if constexpr (std::is_signed_v<T>) {
            target.SetSigned(static_cast<std::int64_t>(source));
        } else {
            target.SetUnsigned(static_cast<std::uint64_t>(source));
        }
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Floating> {
    static constexpr BindingTypeKind kKind =
        std::is_same_v<T, float> ? BindingTypeKind::Float : BindingTypeKind::Double;
    static bool IsEmpty(T source, const BindingStructInfo*, const BindingTypeRegistry&) { return source == 0; }
    static const BindingStructInfo* Describe(const BindingTypeRegistry&) { return nullptr; }
    static void From(BindingResult& result, T& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo*, const BindingTypeRegistry&, std::uint32_t) {
        FromValue(result, target, value, path);
    }
    static void To(BindingResult&, BindingValue& target, T source, const BindingStructInfo*,
                   const BindingTypeRegistry&) {
        target.SetFloat(static_cast<double>(source));
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::String> {
    static constexpr BindingTypeKind kKind = BindingTypeKind::String;
    static bool IsEmpty(const std::string& source, const BindingStructInfo*, const BindingTypeRegistry&) {
        return source.empty();
    }
    static const BindingStructInfo* Describe(const BindingTypeRegistry&) { return nullptr; }
    static void From(BindingResult& result, std::string& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo*, const BindingTypeRegistry& registry, std::uint32_t) {
        StringFromValue(result, target, value, path, registry);
    }
    static void To(BindingResult&, BindingValue& target, const std::string& source, const BindingStructInfo*,
                   const BindingTypeRegistry&) {
        target.SetString(source);
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Object> {
    static constexpr BindingTypeKind kKind = BindingTypeKind::Object;
    static bool IsEmpty(const BindingValue& source, const BindingStructInfo*, const BindingTypeRegistry&) {
        return IsOmittableValue(source);
    }
    static const BindingStructInfo* Describe(const BindingTypeRegistry&) { return nullptr; }
    static void From(BindingResult& result, BindingValue& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo*, const BindingTypeRegistry&, std::uint32_t) {
        ObjectFromValue(result, target, value, path);
    }
    static void To(BindingResult&, BindingValue& target, const BindingValue& source, const BindingStructInfo*,
                   const BindingTypeRegistry&) {
        target.CopyFrom(source);
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Blob> {
    static constexpr BindingTypeKind kKind = BindingTypeKind::Blob;
    static bool IsEmpty(const std::vector<std::uint8_t>& source, const BindingStructInfo*, const BindingTypeRegistry&) {
        return source.empty();
    }
    static const BindingStructInfo* Describe(const BindingTypeRegistry&) { return nullptr; }
    static void From(BindingResult& result, std::vector<std::uint8_t>& target, const BindingValue& value,
                     std::string_view path, const BindingStructInfo*, const BindingTypeRegistry&, std::uint32_t) {
        BlobFromValue(result, target, value, path);
    }
    static void To(BindingResult&, BindingValue& target, const std::vector<std::uint8_t>& source,
                   const BindingStructInfo*, const BindingTypeRegistry&) {
        target.SetBlob(source.data(), source.size());
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Enum> {
    static constexpr BindingTypeKind kKind = BindingTypeKind::Enum;
    static bool IsEmpty(T source, const BindingStructInfo*, const BindingTypeRegistry&) {
        return static_cast<std::int32_t>(source) == 0;
    }
    static const BindingStructInfo* Describe(const BindingTypeRegistry& registry) {
        return registry.FindType(TypeRecordOf<T>());
    }
    static void From(BindingResult& result, T& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo* info, const BindingTypeRegistry& registry, std::uint32_t) {
        if (!result.IsOk()) return;
        if (info == nullptr && !value.IsEmpty()) info = Describe(registry);
        std::int32_t number = 0;
        if (EnumFromValue(result, number, value, path, info, TypeRecordOf<T>())) target = static_cast<T>(number);
    }
    static void To(BindingResult&, BindingValue& target, T source, const BindingStructInfo*,
                   const BindingTypeRegistry&) {
        target.SetEnum(static_cast<std::int32_t>(source), &TypeRecordOf<T>());
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Struct> {
    static constexpr BindingTypeKind kKind = BindingTypeKind::Struct;
    static bool IsEmpty(const T& source, const BindingStructInfo* info, const BindingTypeRegistry& registry) {
        if (info == nullptr) info = Describe(registry);
        return StructIsEmptyNative(&source, info, registry);
    }
    static const BindingStructInfo* Describe(const BindingTypeRegistry& registry) {
        return registry.FindType(TypeRecordOf<T>());
    }
    static void From(BindingResult& result, T& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo* info, const BindingTypeRegistry& registry, std::uint32_t options) {
        if (!result.IsOk()) return;
        if (info == nullptr && !value.IsEmpty()) info = Describe(registry);
        StructFromValue(result, &target, value, path, info, registry, options);
    }
    static void To(BindingResult& status, BindingValue& target, const T& source, const BindingStructInfo* info,
                   const BindingTypeRegistry& registry) {
        if (!status.IsOk()) return;
        if (info == nullptr) info = Describe(registry);
        StructToValue(status, target, &source, info, registry);
    }
};

template <class T>
struct BindingNative<T, BindingNativeCategory::Vector> {
    using Element = typename T::value_type;
    using ElementNative = BindingNative<Element>;
    static constexpr BindingTypeKind kKind = BindingTypeKind::Vector;
    // The element's description; a vector of vectors carries the innermost one.
    static bool IsEmpty(const T& source, const BindingStructInfo*, const BindingTypeRegistry&) {
        return source.empty();
    }
    static const BindingStructInfo* Describe(const BindingTypeRegistry& registry) {
        return ElementNative::Describe(registry);
    }
    static void From(BindingResult& result, T& target, const BindingValue& value, std::string_view path,
                     const BindingStructInfo* info, const BindingTypeRegistry& registry, std::uint32_t options) {
        if (!result.IsOk()) return;
        if (!value.IsEmpty()) target.clear();
        if (!CheckCollectionValue(result, value, path)) return;
        const std::size_t count = value.Size();
        target.resize(count);
        if (info == nullptr && count != 0) info = Describe(registry);
        for (std::size_t i = 0; i < count && result.IsOk(); ++i) {
            const BindingValue& element = value.Element(i);
            if (element.IsEmpty()) continue;  // keeps the default element
            if constexpr (std::is_same_v<Element, bool>) {
                bool flag = false;
                ElementNative::From(result, flag, element, path, info, registry, options);
                target[i] = flag;
            } else {
                ElementNative::From(result, target[i], element, path, info, registry, options);
            }
        }
    }
    static void To(BindingResult& status, BindingValue& target, const T& source, const BindingStructInfo* info,
                   const BindingTypeRegistry& registry) {
        if (!status.IsOk()) return;
        target.Clear();
        target.MakeCollection();
        target.Reserve(source.size());
        if (info == nullptr && !source.empty()) info = Describe(registry);
        for (const auto& element : source) {
            if constexpr (std::is_same_v<Element, bool>) {
                ElementNative::To(status, target.Append(), static_cast<bool>(element), info, registry);
            } else {
                ElementNative::To(status, target.Append(), element, info, registry);
            }
            if (!status.IsOk()) return;
        }
    }
};

// The full type of native T for a field, argument or result; the description
// of an enum or struct (or a vector's element) is looked up in `registry` now.
// `void` gives kind None (a function without a result).
template <class T>
BindingTypeIdentifier TypeIdentifierOf(const BindingTypeRegistry& registry) {
    using U = std::remove_cv_t<std::remove_reference_t<T>>;
    BindingTypeIdentifier identifier;
    if constexpr (!std::is_void_v<U>) {
        using Native = BindingNative<U>;
        identifier.kind = Native::kKind;
        if constexpr (NativeCategoryOf<U>() == BindingNativeCategory::Vector) {
            identifier.elementKind = Native::ElementNative::kKind;
        }
        identifier.info = Native::Describe(registry);
    }
    return identifier;
}

template <class T>
void FromValue(BindingResult& result, T& target, const BindingValue& value, std::string_view path,
               const BindingTypeRegistry& registry, std::uint32_t options = 0) {
    BindingNative<T>::From(result, target, value, path, nullptr, registry, options);
}

template <class T>
void ToValue(BindingResult& result, const T& source, const BindingTypeRegistry& registry) {
    if (!result.IsOk()) return;
    // Errors are collected apart from the tree being written, so that setting
    // one never destroys nodes the walk still holds.
    BindingResult status;
    result.Value().Clear();
    BindingNative<T>::To(status, result.Value(), source, nullptr, registry);
    if (!status.IsOk()) result.SetError(status.ErrorText());
}

// The converter a field of native type T gets.
template <class T>
class BindingFieldConverterFor final : public BindingFieldConverter {
public:
    void FromValue(BindingResult& result, void* field, const BindingValue& value, std::string_view name,
                   const BindingStructInfo* info, const BindingTypeRegistry& registry,
                   std::uint32_t options) const override {
        BindingNative<T>::From(result, *static_cast<T*>(field), value, name, info, registry, options);
    }
    void ToValue(BindingResult& status, BindingValue& target, const void* field, const BindingStructInfo* info,
                 const BindingTypeRegistry& registry) const override {
        BindingNative<T>::To(status, target, *static_cast<const T*>(field), info, registry);
    }
    bool IsEmptyNative(const void* field, const BindingStructInfo* info,
                       const BindingTypeRegistry& registry) const override {
        return BindingNative<T>::IsEmpty(*static_cast<const T*>(field), info, registry);
    }
};

}  // namespace hpk
