#pragma once
// Property: a named value of a data-access object. Built-in properties read
// and write their owner (a field's Required, UnicodeCompression ...);
// properties made by CreateProperty hold their value, for as long as the
// object lives, unless their owner keeps them (a field keeps
// UnicodeCompression in the catalogue).

#include <functional>
#include <memory>
#include <string>

#include "platform/automation/Object.h"

namespace qv::dao {

class Properties;

class Property : public Object {
  QV_DECLARE_CLASS(Property)

 public:
  using Getter = std::function<Variant()>;
  using Setter = std::function<void(const Variant&)>;

  Property() = default;  // for late binding only: nameless until set
  Property(std::string name, int32_t type, Variant value);
  // A built-in property: `set` is null for a read-only one (3219 on write).
  static std::shared_ptr<Property> BuiltIn(std::string name, int32_t type, Getter get,
                                           Setter set = nullptr);

  const std::string& Name() const { return name_; }
  // Errors: 3219 renaming a built-in property.
  void SetName(const std::string& name);
  int32_t Type() const { return type_; }
  void SetType(int32_t type);
  Variant Value() const;
  void SetValue(const Variant& value);
  bool Inherited() const { return false; }
  bool IsBuiltIn() const { return static_cast<bool>(get_); }

 private:
  std::string name_;
  int32_t type_ = 0;
  Variant value_;
  Getter get_;
  Setter set_;
};

// Reads a Properties-style argument: CreateProperty's value converted to the
// property's type (dbBoolean, dbLong, dbText ...).
Variant PropertyValue(int32_t type, const Variant& value);

}  // namespace qv::dao
