#pragma once
// A stored property of a plain value class (no behaviour): a member with
// its initial value, a getter Get<Name> and a setter Let<Name>, to bind with
// Property("<Name>", &Cls::Get<Name>, &Cls::Let<Name>). Leaves the class in
// private access.

#define QV_VALUE_PROPERTY(Type, Name, Init) \
 public:                                    \
  Type Get##Name() const {                  \
    return Name##_;                         \
  }                                         \
  void Let##Name(Type v) {                  \
    Name##_ = v;                            \
  }                                         \
                                            \
 private:                                   \
  Type Name##_ = Init;
