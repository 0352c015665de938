// TypedRequestHandler: the handler object behind a C++ callable served by the
// router. Prepare converts the bound values into the callable's native
// parameter types through the registry (each under its argument's name);
// Invoke calls it and converts the result back.
//
// Accepted callables: lambdas (mutable too), function objects with one
// operator(), and function pointers. Parameters: an optional leading
// `const RequestContext&`, `RequestContext&` or `RequestContext*`, then the
// arguments. Result: void (an empty body), BindingResult (its value or error
// as it is), or any type FromValue/ToValue support.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding/binding_convert.h"
#include "binding/type_registry.h"
#include "router/request_handler.h"

namespace hpk {
namespace detail {

template <class R, class... A>
struct CallableSignature {
    using Result = R;
    using Parameters = std::tuple<A...>;
};
template <class T>
struct CallableTraits : CallableTraits<decltype(&T::operator())> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) const> : CallableSignature<R, A...> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...)> : CallableSignature<R, A...> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) const noexcept> : CallableSignature<R, A...> {};
template <class C, class R, class... A>
struct CallableTraits<R (C::*)(A...) noexcept> : CallableSignature<R, A...> {};
template <class R, class... A>
struct CallableTraits<R (*)(A...)> : CallableSignature<R, A...> {};
template <class R, class... A>
struct CallableTraits<R (*)(A...) noexcept> : CallableSignature<R, A...> {};

enum class ContextPassing { None, Reference, Pointer };

template <class P>
constexpr ContextPassing ContextPassingOf() {
    using Bare = std::remove_cv_t<std::remove_reference_t<P>>;
    if constexpr (std::is_same_v<Bare, RequestContext> && std::is_lvalue_reference_v<P>) {
        return ContextPassing::Reference;
    } else if constexpr (std::is_pointer_v<Bare> &&
                         std::is_same_v<std::remove_cv_t<std::remove_pointer_t<Bare>>, RequestContext>) {
        return ContextPassing::Pointer;
    } else {
        return ContextPassing::None;
    }
}

template <class Tuple>
struct ContextOf {
    static constexpr ContextPassing kPassing = ContextPassing::None;
};
template <class First, class... Rest>
struct ContextOf<std::tuple<First, Rest...>> {
    static constexpr ContextPassing kPassing = ContextPassingOf<First>();
};

// The parameters after the context, if any.
template <class Tuple, bool kDropFirst>
struct ArgumentParameters {
    using Type = Tuple;
};
template <class First, class... Rest>
struct ArgumentParameters<std::tuple<First, Rest...>, true> {
    using Type = std::tuple<Rest...>;
};

template <class Tuple>
struct StorageOf;
template <class... A>
struct StorageOf<std::tuple<A...>> {
    using Type = std::tuple<std::remove_cv_t<std::remove_reference_t<A>>...>;
};

}  // namespace detail

template <class F>
class TypedRequestHandler final : public RequestHandler {
    using Traits = detail::CallableTraits<std::decay_t<F>>;
    using Result = typename Traits::Result;
    static constexpr detail::ContextPassing kContext = detail::ContextOf<typename Traits::Parameters>::kPassing;
    using Parameters = typename detail::ArgumentParameters<typename Traits::Parameters,
                                                           kContext != detail::ContextPassing::None>::Type;
    using Storage = typename detail::StorageOf<Parameters>::Type;

public:
    static constexpr std::size_t kArgumentCount = std::tuple_size_v<Parameters>;

    // `names` and `optional` have one entry per argument. `registry` must
    // outlive the handler (it owns it).
    TypedRequestHandler(F callable, const BindingTypeRegistry& registry, std::vector<std::string> names,
                        std::vector<bool> optional)
        : callable_(std::move(callable)), registry_(registry), names_(std::move(names)),
          optional_(std::move(optional)) {
        names_.resize(kArgumentCount);
        optional_.resize(kArgumentCount, false);
    }

    static std::vector<BindingTypeIdentifier> ArgumentTypes(const BindingTypeRegistry& registry) {
        return ArgumentTypesOf(registry, std::make_index_sequence<kArgumentCount>());
    }
    static BindingTypeIdentifier ResultType(const BindingTypeRegistry& registry) {
        if constexpr (std::is_same_v<std::decay_t<Result>, BindingResult>) {
            BindingTypeIdentifier identifier;
            identifier.kind = BindingTypeKind::Object;
            return identifier;
        } else {
            return TypeIdentifierOf<Result>(registry);
        }
    }

    CallToken Prepare(HandlerResponse& response, std::vector<BindingValue>& arguments, std::int32_t) override {
        if constexpr (kArgumentCount == 0) {
            return 0;
        } else {
            auto storage = std::make_unique<Storage>();
            BindingResult status;
            ConvertArguments(status, *storage, arguments, std::make_index_sequence<kArgumentCount>());
            if (!status.IsOk()) {
                response.SetError(status.ErrorText());
                return 0;
            }
            return reinterpret_cast<CallToken>(storage.release());
        }
    }

    void Invoke(HandlerResponse& response, RequestContext* context, CallToken token, std::int32_t) override {
        Storage empty;
        Storage& storage = token == 0 ? empty : *reinterpret_cast<Storage*>(token);
        Call(response, context, storage, std::make_index_sequence<kArgumentCount>());
    }

    void Release(CallToken token) override { delete reinterpret_cast<Storage*>(token); }

    const BindingTypeRecord* ContextType() const override {
        if constexpr (kContext == detail::ContextPassing::Reference) return RequestContextType();
        if constexpr (kContext == detail::ContextPassing::Pointer) return RequestContextPointerType();
        return nullptr;
    }

private:
    template <std::size_t... I>
    static std::vector<BindingTypeIdentifier> ArgumentTypesOf(const BindingTypeRegistry& registry,
                                                              std::index_sequence<I...>) {
        return {TypeIdentifierOf<std::tuple_element_t<I, Storage>>(registry)...};
    }

    template <std::size_t... I>
    void ConvertArguments(BindingResult& status, Storage& storage, std::vector<BindingValue>& arguments,
                          std::index_sequence<I...>) const {
        (ConvertArgument<I>(status, storage, arguments), ...);
    }
    template <std::size_t I>
    void ConvertArgument(BindingResult& status, Storage& storage, std::vector<BindingValue>& arguments) const {
        const BindingValue& value = I < arguments.size() ? arguments[I] : BindingValue::EmptyValue();
        // An optional argument the request left out keeps its native default.
        if (value.IsEmpty() && optional_[I]) return;
        FromValue(status, std::get<I>(storage), value, names_[I], registry_);
    }

    template <std::size_t... I>
    void Call(HandlerResponse& response, RequestContext* context, Storage& storage, std::index_sequence<I...>) {
        using Params = Parameters;
        if constexpr (std::is_void_v<Result>) {
            CallWithContext(context, static_cast<std::tuple_element_t<I, Params>&&>(std::get<I>(storage))...);
        } else {
            Store(response,
                  CallWithContext(context, static_cast<std::tuple_element_t<I, Params>&&>(std::get<I>(storage))...));
        }
    }

    template <class... A>
    decltype(auto) CallWithContext(RequestContext* context, A&&... arguments) {
        if constexpr (kContext == detail::ContextPassing::Reference) {
            return callable_(*context, std::forward<A>(arguments)...);
        } else if constexpr (kContext == detail::ContextPassing::Pointer) {
            return callable_(context, std::forward<A>(arguments)...);
        } else {
            return callable_(std::forward<A>(arguments)...);
        }
    }

    template <class R>
    void Store(HandlerResponse& response, R&& result) {
        if constexpr (std::is_same_v<std::decay_t<R>, BindingResult>) {
            if (!result.IsOk()) {
                response.SetError(result.ErrorText());
            } else {
                response.result.Value().CopyFrom(result.Value());
            }
        } else {
            ToValue(response.result, result, registry_);
            if (!response.result.IsOk()) response.stream.reset();
        }
    }

    F callable_;
    const BindingTypeRegistry& registry_;
    std::vector<std::string> names_;
    std::vector<bool> optional_;
};

}  // namespace hpk
