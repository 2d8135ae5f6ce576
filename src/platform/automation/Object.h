#pragma once
// Late binding: every public class of the library derives from Object and
// declares, once and beside the class, its ProgID and its dispatch table
// (the members callable by name). CreateObject("Qv_DBProvider.DBCommon")
// makes an instance by ProgID; Invoke calls a member by name with Variant
// arguments, writing by-reference arguments back into the caller's array.

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/automation/Variant.h"

namespace qv {

// How a member is invoked, as IDispatch distinguishes it.
enum class CallKind { kMethod, kGet, kLet };

using Args = std::span<Variant>;
class ClassInfo;

class Object : public std::enable_shared_from_this<Object> {
 public:
  virtual ~Object() = default;
  virtual const ClassInfo& Class() const = 0;

  // Calls the member `name` (case-insensitive). A property get may also be
  // called as a method and the other way round, as in VB. By-reference
  // parameters write their new value into `args`. Error 438 for an unknown
  // member, 449 for a missing required argument, 450 for too many.
  virtual Variant Invoke(std::string_view name, CallKind kind, Args args);

  Variant Call(std::string_view name, std::vector<Variant>& args) {
    return Invoke(name, CallKind::kMethod, args);
  }
  // Each argument as a Variant; a whole number of a type Variant does not
  // hold (long, int64_t, size_t ...) is a Long when it fits, else a Double.
  template <class... A>
  Variant CallV(std::string_view name, A&&... a) {
    std::vector<Variant> args{ArgVariant(std::forward<A>(a))...};
    return Invoke(name, CallKind::kMethod, args);
  }
  Variant Get(std::string_view name) { return Invoke(name, CallKind::kGet, {}); }
  void Let(std::string_view name, Variant value) {
    Variant v[1] = {std::move(value)};
    Invoke(name, CallKind::kLet, v);
  }
  // The names a late-bound caller can use (for tools and diagnostics).
  virtual std::vector<std::string> MemberNames() const;

 private:
  template <class A>
  static Variant ArgVariant(A&& a) {
    using D = std::remove_cvref_t<A>;
    if constexpr (std::is_integral_v<D> && !std::is_same_v<D, bool> &&
                  !std::is_same_v<D, uint8_t> && !std::is_same_v<D, int16_t> &&
                  !std::is_same_v<D, int32_t> && !std::is_same_v<D, char>) {
      if (std::in_range<int32_t>(a)) return Variant(static_cast<int32_t>(a));
      return Variant(static_cast<double>(a));
    } else {
      return Variant(std::forward<A>(a));
    }
  }
};

using Invoker = std::function<Variant(Object&, Args)>;

// The name of a parameter's or result's type as a caller writes it (Long,
// String, Variant, a class's ProgID); a function so that an object type is
// named only when asked, after every class is registered.
using TypeNameFn = std::string (*)();

struct Param {
  std::string name;  // empty when the registration gave none
  TypeNameFn type = nullptr;
  bool byRef = false;  // the call writes its new value back into the argument
  bool optional = false;
  Variant defaultValue;  // when optional
};

// An operation's signature, declared where it is registered: the names in
// the registration's text, the types, by-reference parameters and result
// from the C++ member function, the optional parameters from its defaults.
struct Signature {
  std::vector<Param> params;
  TypeNameFn result = nullptr;  // null for an operation without a result (a Sub)
  // The parameter names the registration gave; equal to params.size() when
  // they were given in full (a test holds every registration to that).
  size_t namesGiven = 0;
};

// "Name(aType, aFlags)" as "Name aType, aFlags": `Signature` lists the
// parameters with their types, defaults and ByRef, as help prints it.
std::string FormatSignature(std::string_view name, const Signature& s);

struct Member {
  std::string name;
  Invoker call;  // method or property get; null when the member is write-only
  Invoker let;   // property let/set, the value as the last argument; null when read-only
  std::shared_ptr<const Signature> signature = nullptr;  // null for members built by hand
};

class ClassInfo {
 public:
  // A function, so that one C++ class can serve several ProgIDs, each
  // factory carrying its own per-class data (the generic record classes).
  using Factory = std::function<ObjectPtr()>;
  // `progId` is "Library.Class"; `factory` is null for classes the caller
  // cannot create (they are still described for late binding).
  ClassInfo(std::string progId, std::vector<Member> members, Factory factory);

  const std::string& ProgId() const { return progId_; }
  std::string_view Name() const;     // the part after the dot
  std::string_view Library() const;  // the part before the dot
  bool Creatable() const { return factory_ != nullptr; }
  ObjectPtr Create() const;
  const Member* Find(std::string_view name) const;
  const std::vector<Member>& Members() const { return members_; }

 private:
  std::string progId_;
  std::vector<Member> members_;
  Factory factory_;
};

// The process-wide table of ProgIDs. Classes add themselves at load time
// through QV_DEFINE_CLASS; the table is read-only afterwards.
class ProgIdRegistry {
 public:
  using ClassGetter = const ClassInfo& (*)();
  static void Register(std::string_view progId, ClassGetter getter);
  // Registers a class described at run time under info.ProgId().
  // REQUIRES: `info` lives as long as the process (it is not copied).
  static void Register(const ClassInfo& info);
  // Null when the ProgID (case-insensitive) is not registered.
  static const ClassInfo* Find(std::string_view progId);
  static std::vector<std::string> ProgIds();
};

// Creates an object by ProgID; error 429 naming the ProgID when it is not
// registered or cannot be created.
ObjectPtr CreateObject(std::string_view progId);

// ---- binding C++ members to the dispatch table

namespace dispatch {

template <class T>
struct IsSharedPtr : std::false_type {};
template <class T>
struct IsSharedPtr<std::shared_ptr<T>> : std::true_type {
  using Element = T;
};

template <class T>
std::string TypeName() {
  using D = std::remove_cvref_t<T>;
  if constexpr (std::is_void_v<D>)
    return "";
  else if constexpr (std::is_same_v<D, Variant>)
    return "Variant";
  else if constexpr (std::is_same_v<D, bool>)
    return "Boolean";
  else if constexpr (std::is_same_v<D, uint8_t>)
    return "Byte";
  else if constexpr (std::is_same_v<D, int16_t>)
    return "Integer";
  else if constexpr (std::is_same_v<D, int32_t>)
    return "Long";
  else if constexpr (std::is_same_v<D, float>)
    return "Single";
  else if constexpr (std::is_same_v<D, double>)
    return "Double";
  else if constexpr (std::is_same_v<D, Currency>)
    return "Currency";
  else if constexpr (std::is_same_v<D, OleDate>)
    return "Date";
  else if constexpr (std::is_same_v<D, std::string>)
    return "String";
  else if constexpr (IsSharedPtr<D>::value) {
    using E = typename IsSharedPtr<D>::Element;
    if constexpr (requires { E::StaticClass().ProgId(); })
      return E::StaticClass().ProgId();
    else
      return "Object";
  } else {
    return "Variant";
  }
}

// Reads an argument as the parameter type wants it, with VBA's conversions.
template <class T>
T FromVariant(const Variant& v) {
  if constexpr (std::is_same_v<T, Variant>)
    return v;
  else if constexpr (std::is_same_v<T, bool>)
    return CBool(v);
  else if constexpr (std::is_same_v<T, uint8_t>)
    return CByte(v);
  else if constexpr (std::is_same_v<T, int16_t>)
    return CInt(v);
  else if constexpr (std::is_same_v<T, int32_t>)
    return CLng(v);
  else if constexpr (std::is_same_v<T, float>)
    return CSng(v);
  else if constexpr (std::is_same_v<T, double>)
    return CDbl(v);
  else if constexpr (std::is_same_v<T, Currency>)
    return CCur(v);
  else if constexpr (std::is_same_v<T, OleDate>)
    return CDate(v);
  else if constexpr (std::is_same_v<T, std::string>)
    return CStr(v);
  else if constexpr (IsSharedPtr<T>::value) {
    using E = typename IsSharedPtr<T>::Element;
    if (v.IsEmpty() || v.IsNothing()) return nullptr;
    if (!v.IsObject()) ThrowVb(vberr::kObjectRequired, "an object argument was expected");
    if constexpr (std::is_same_v<E, Object>) {
      return v.AsObject();
    } else {
      auto p = std::dynamic_pointer_cast<E>(v.AsObject());
      if (!p) ThrowVb(vberr::kTypeMismatch, "the object is of another class");
      return p;
    }
  } else {
    static_assert(sizeof(T) == 0, "no Variant conversion for this parameter type");
  }
}

template <class T>
Variant ToVariant(T&& value) {
  using D = std::decay_t<T>;
  if constexpr (IsSharedPtr<D>::value)
    return Variant(ObjectPtr(std::forward<T>(value)));
  else
    return Variant(std::forward<T>(value));
}

// One argument slot as the parameter sees it; by-reference parameters (a
// non-const lvalue reference) write their value back after the call.
template <class P>
struct Holder {
  using D = std::remove_cvref_t<P>;
  explicit Holder(Variant& slot) : value(FromVariant<D>(slot)) {}
  D& Get() { return value; }
  void WriteBack() {}
  D value;
};

template <class T>
requires(!std::is_const_v<T> && !std::is_same_v<T, Variant>) struct Holder<T&> {
  explicit Holder(Variant& s) : slot(s), value(FromVariant<T>(s)) {}
  T& Get() { return value; }
  void WriteBack() { slot = ToVariant(value); }
  Variant& slot;
  T value;
};

template <>
struct Holder<Variant&> {
  explicit Holder(Variant& s) : slot(s) {}
  Variant& Get() { return slot; }
  void WriteBack() {}
  Variant& slot;
};

// Chooses the slot of each parameter: the caller's argument, or the default
// of an omitted trailing or Missing argument (449 when it has none).
// `signature` (may be null) names the missing argument.
std::vector<Variant*> BindSlots(std::string_view member, Args args, size_t arity,
                                const std::vector<Variant>& defaults, std::vector<Variant>& storage,
                                const Signature* signature = nullptr);

// "argument 2 (times As Long)": argument `i` (from 0), named with its type
// when `signature` (may be null) names it.
std::string ArgumentText(size_t i, const Signature* signature);

inline constexpr size_t kNoArgument = SIZE_MAX;
// Raises the error in flight, from binding the arguments of `member`, with
// the location line an error inside the operation carries, which names
// `argument` (from 0) when its conversion raised it (kNoArgument: none).
// REQUIRES: called inside a catch block.
[[noreturn]] void RaiseBindingError(const Object& self, std::string_view member,
                                    size_t argument = kNoArgument,
                                    const Signature* signature = nullptr);

// The holder of argument `index`, which `converting` names meanwhile.
template <class P>
Holder<P> HolderOf(Variant& slot, size_t index, size_t& converting) {
  converting = index;
  return Holder<P>(slot);
}

template <class F>
struct MemberTraits;
template <class C, class R, class... P>
struct MemberTraits<R (C::*)(P...)> {
  using Class = C;
  using Result = R;
  using Params = std::tuple<P...>;
};
template <class C, class R, class... P>
struct MemberTraits<R (C::*)(P...) const> : MemberTraits<R (C::*)(P...)> {};

template <class F, size_t... I>
Variant InvokeWith(typename MemberTraits<F>::Class& self, F fn, std::string_view name, Args args,
                   const std::vector<Variant>& defaults, const Signature* signature,
                   std::index_sequence<I...>) {
  using Params = typename MemberTraits<F>::Params;
  using Holders = std::tuple<Holder<std::tuple_element_t<I, Params>>...>;
  std::vector<Variant> storage;
  std::optional<Holders> bound;
  size_t converting = kNoArgument;  // the argument being converted
  try {
    std::vector<Variant*> slots = BindSlots(name, args, sizeof...(I), defaults, storage, signature);
    // A braced list converts the arguments in order.
    bound.emplace(Holders{HolderOf<std::tuple_element_t<I, Params>>(*slots[I], I, converting)...});
  } catch (...) {
    RaiseBindingError(self, name, converting, signature);
  }
  Holders& holders = *bound;
  if constexpr (std::is_void_v<typename MemberTraits<F>::Result>) {
    (self.*fn)(std::get<I>(holders).Get()...);
    (std::get<I>(holders).WriteBack(), ...);
    return Variant();
  } else {
    Variant result = ToVariant((self.*fn)(std::get<I>(holders).Get()...));
    (std::get<I>(holders).WriteBack(), ...);
    return result;
  }
}

template <class F>
Invoker MakeInvoker(std::string name, F fn, std::vector<Variant> defaults,
                    std::shared_ptr<const Signature> signature = nullptr) {
  using Traits = MemberTraits<F>;
  constexpr size_t kArity = std::tuple_size_v<typename Traits::Params>;
  return [name = std::move(name), fn, defaults = std::move(defaults),
          signature = std::move(signature)](Object& o, Args args) {
    return InvokeWith<F>(static_cast<typename Traits::Class&>(o), fn, name, args, defaults,
                         signature.get(), std::make_index_sequence<kArity>{});
  };
}

template <class P>
constexpr bool kByRef =
    std::is_lvalue_reference_v<P> && !std::is_const_v<std::remove_reference_t<P>>;

template <class F, size_t... I>
std::shared_ptr<const Signature> MakeSignature(const std::vector<std::string>& names,
                                               const std::vector<Variant>& defaults,
                                               std::index_sequence<I...>) {
  using Traits = MemberTraits<F>;
  using Params = typename Traits::Params;
  auto s = std::make_shared<Signature>();
  s->params = {Param{{},
                     &TypeName<std::tuple_element_t<I, Params>>,
                     kByRef<std::tuple_element_t<I, Params>>,
                     false,
                     Variant()}...};
  if constexpr (!std::is_void_v<typename Traits::Result>)
    s->result = &TypeName<typename Traits::Result>;
  s->namesGiven = names.size();
  for (size_t i = 0; i < s->params.size() && i < names.size(); ++i) s->params[i].name = names[i];
  const size_t firstDefault = s->params.size() - std::min(s->params.size(), defaults.size());
  for (size_t i = firstDefault; i < s->params.size(); ++i) {
    s->params[i].optional = true;
    s->params[i].defaultValue = defaults[i - firstDefault];
  }
  return s;
}

// "Name(aID, aFlags)" as the name and the parameter names; "Name" alone
// names no parameters.
std::pair<std::string, std::vector<std::string>> SplitDeclaration(std::string_view declaration);

}  // namespace dispatch

// A method (or a read-only property) bound to a member function.
// `declaration` is the name the caller uses followed by the parameter names
// in parentheses, as in "GetDocument(aID, aFlags)"; `defaults` are the values
// of the trailing optional parameters, last one last.
template <class F>
Member Method(std::string_view declaration, F fn, std::vector<Variant> defaults = {}) {
  auto [name, names] = dispatch::SplitDeclaration(declaration);
  constexpr size_t kArity = std::tuple_size_v<typename dispatch::MemberTraits<F>::Params>;
  auto signature = dispatch::MakeSignature<F>(names, defaults, std::make_index_sequence<kArity>{});
  Invoker call = dispatch::MakeInvoker(name, fn, std::move(defaults), signature);
  return Member{std::move(name), std::move(call), nullptr, std::move(signature)};
}

// A read-write property: a getter and a setter taking the getter's
// parameters and the value. `declaration` names the getter's parameters as
// Method's does ("Item(Index)"); a plain name when it has none.
template <class G, class S>
Member Property(std::string_view declaration, G getter, S setter) {
  auto [name, names] = dispatch::SplitDeclaration(declaration);
  constexpr size_t kArity = std::tuple_size_v<typename dispatch::MemberTraits<G>::Params>;
  auto signature = dispatch::MakeSignature<G>(names, {}, std::make_index_sequence<kArity>{});
  return Member{name, dispatch::MakeInvoker(name, getter, {}, signature),
                dispatch::MakeInvoker(name, setter, {}), std::move(signature)};
}

}  // namespace qv

// Inside a class derived from qv::Object: declares its class information.
// `kModule` names the class in error locations.
#define QV_DECLARE_CLASS(Cls)                       \
 public:                                            \
  static constexpr std::string_view kModule = #Cls; \
  static const ::qv::ClassInfo& StaticClass();      \
  const ::qv::ClassInfo& Class() const override {   \
    return StaticClass();                           \
  }

// In the class's .cpp file: its ProgID and dispatch table, and its
// registration by ProgID. `factory` is QV_CREATABLE(Cls) or nullptr.
#define QV_DEFINE_CLASS(Cls, progId, factory, ...)                                              \
  const ::qv::ClassInfo& Cls::StaticClass() {                                                   \
    static const ::qv::ClassInfo info(progId, std::vector<::qv::Member>{__VA_ARGS__}, factory); \
    return info;                                                                                \
  }                                                                                             \
  [[maybe_unused]] static const bool qv_registered_##Cls =                                      \
      (::qv::ProgIdRegistry::Register(progId, &Cls::StaticClass), true);

#define QV_CREATABLE(Cls) +[]() -> ::qv::ObjectPtr { return std::make_shared<Cls>(); }
