// Jet's financial functions, with VBA's sign convention: money paid out is
// negative, money received positive; `type` 0 pays at the end of each
// period, 1 at its start. A Null argument gives Null; arguments outside the
// function's domain raise 5 (Invalid procedure call).

#include <cmath>

#include "platform/jet/JetFunctionImpl.h"

namespace qv::jet::fn {

namespace {

// An optional argument, or `def` when it is left out or Null.
double Optional(Args& a, int i, double def) {
  return a.Count() > i && !a.IsNull(i) ? a.Double(i) : def;
}

// The type argument: 0 (end of period) unless given as nonzero.
double WhenDue(Args& a, int i) {
  return Optional(a, i, 0) != 0 ? 1 : 0;
}

Variant Checked(double r, const char* what) {
  if (!std::isfinite(r)) ThrowVb(vberr::kInvalidProcedureCall, what);
  return Variant(r);
}

double FutureValue(double rate, double nper, double pmt, double pv, double type) {
  if (rate == 0) return -(pv + pmt * nper);
  const double growth = std::pow(1 + rate, nper);
  return -(pv * growth + pmt * (1 + rate * type) * (growth - 1) / rate);
}

double Payment(double rate, double nper, double pv, double fv, double type) {
  if (nper == 0) ThrowVb(vberr::kInvalidProcedureCall, "Pmt with no periods");
  if (rate == 0) return -(pv + fv) / nper;
  const double growth = std::pow(1 + rate, nper);
  return -(fv + pv * growth) * rate / ((1 + rate * type) * (growth - 1));
}

// The interest part of the payment of period `per` (1-based).
double InterestPayment(double rate, double per, double nper, double pv, double fv, double type) {
  if (per < 1 || per >= nper + 1) ThrowVb(vberr::kInvalidProcedureCall, "payment period");
  if (type != 0 && per == 1) return 0;  // nothing owed yet at the very start
  const double pmt = Payment(rate, nper, pv, fv, type);
  const double interest = FutureValue(rate, per - 1, pmt, pv, type) * rate;
  return type != 0 ? interest / (1 + rate) : interest;
}

}  // namespace

// FV(rate, nper, pmt [, pv [, type]])
Variant FVFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  return Checked(
      FutureValue(a.Double(0), a.Double(1), a.Double(2), Optional(a, 3, 0), WhenDue(a, 4)), "FV");
}

// PV(rate, nper, pmt [, fv [, type]])
Variant PVFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double rate = a.Double(0), nper = a.Double(1), pmt = a.Double(2);
  const double fv = Optional(a, 3, 0), type = WhenDue(a, 4);
  if (rate == 0) return Checked(-(fv + pmt * nper), "PV");
  const double growth = std::pow(1 + rate, nper);
  return Checked(-(fv + pmt * (1 + rate * type) * (growth - 1) / rate) / growth, "PV");
}

// Pmt(rate, nper, pv [, fv [, type]])
Variant PmtFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  return Checked(Payment(a.Double(0), a.Double(1), a.Double(2), Optional(a, 3, 0), WhenDue(a, 4)),
                 "Pmt");
}

// NPer(rate, pmt, pv [, fv [, type]])
Variant NPerFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double rate = a.Double(0), pmt = a.Double(1), pv = a.Double(2);
  const double fv = Optional(a, 3, 0), type = WhenDue(a, 4);
  if (rate == 0) {
    if (pmt == 0) ThrowVb(vberr::kInvalidProcedureCall, "NPer with no payment");
    return Checked(-(pv + fv) / pmt, "NPer");
  }
  const double due = pmt * (1 + rate * type);
  return Checked(std::log((due - fv * rate) / (due + pv * rate)) / std::log(1 + rate), "NPer");
}

// IPmt(rate, per, nper, pv [, fv [, type]])
Variant IPmtFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  return Checked(InterestPayment(a.Double(0), a.Double(1), a.Double(2), a.Double(3),
                                 Optional(a, 4, 0), WhenDue(a, 5)),
                 "IPmt");
}

// PPmt(rate, per, nper, pv [, fv [, type]]): the payment less its interest.
Variant PPmtFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double rate = a.Double(0), per = a.Double(1), nper = a.Double(2), pv = a.Double(3);
  const double fv = Optional(a, 4, 0), type = WhenDue(a, 5);
  const double interest = InterestPayment(rate, per, nper, pv, fv, type);
  return Checked(Payment(rate, nper, pv, fv, type) - interest, "PPmt");
}

// Rate(nper, pmt, pv [, fv [, type [, guess]]]): found by Newton's method
// from the guess (0.1); no result within 20 steps raises 5, as VBA does.
Variant RateFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double nper = a.Double(0), pmt = a.Double(1), pv = a.Double(2);
  const double fv = Optional(a, 3, 0), type = WhenDue(a, 4);
  if (nper <= 0) ThrowVb(vberr::kInvalidProcedureCall, "Rate with no periods");
  // The balance left after nper periods at rate r: zero at the answer.
  auto balance = [&](double r) { return FutureValue(r, nper, pmt, pv, type) - fv; };
  double r = Optional(a, 5, 0.1);
  for (int step = 0; step < 20; ++step) {
    const double h = std::max(std::fabs(r) * 1e-6, 1e-9);
    const double f = balance(r);
    const double slope = (balance(r + h) - balance(r - h)) / (2 * h);
    if (slope == 0 || !std::isfinite(slope)) break;
    const double next = r - f / slope;
    if (!std::isfinite(next) || next <= -1) break;
    if (std::fabs(next - r) < 1e-7) return Variant(next);
    r = next;
  }
  ThrowVb(vberr::kInvalidProcedureCall, "Rate does not converge");
}

// DDB(cost, salvage, life, period [, factor]): declining balance at
// factor/life a period (2: double-declining), never below the salvage.
Variant DDBFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double cost = a.Double(0), salvage = a.Double(1), life = a.Double(2), period = a.Double(3);
  const double factor = Optional(a, 4, 2);
  if (cost < 0 || salvage < 0 || life <= 0 || period <= 0 || period > life || factor <= 0)
    ThrowVb(vberr::kInvalidProcedureCall, "DDB");
  const double share = std::min(factor / life, 1.0);
  const double before = cost * (1 - std::pow(1 - share, period - 1));  // taken in earlier periods
  return Variant(std::max(0.0, std::min((cost - before) * share, cost - salvage - before)));
}

// SLN(cost, salvage, life): the same amount every period.
Variant SLNFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double life = a.Double(2);
  if (life == 0) ThrowVb(vberr::kInvalidProcedureCall, "SLN with no life");
  return Variant((a.Double(0) - a.Double(1)) / life);
}

// SYD(cost, salvage, life, period): sum-of-years' digits.
Variant SYDFn(Args& a) {
  if (a.AnyNull()) return Variant::Null();
  const double cost = a.Double(0), salvage = a.Double(1), life = a.Double(2), period = a.Double(3);
  if (life <= 0 || period <= 0 || period > life) ThrowVb(vberr::kInvalidProcedureCall, "SYD");
  return Variant((cost - salvage) * (life - period + 1) * 2 / (life * (life + 1)));
}

}  // namespace qv::jet::fn
