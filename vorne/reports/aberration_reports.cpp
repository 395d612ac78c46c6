// The aberration coefficient reports: THIRD (third-order coefficients in SI units, or in the
// image-side form), AB3 (the same in micrometres per milliradian power, referred to the
// object-side angles) and AB2 (the second-order map).
#include "reports/aberration_reports.h"

#include <string>
#include <vector>

#include "optics/second_order.h"
#include "optics/third_order.h"
#include "reports/integrated_report.h"
#include "session/walks.h"
#include "reports/reports.h"

namespace vorne {

namespace {

constexpr int kCoefficients = 10;          // per plane
constexpr int kFirstRemaining = 3;         // P, S (PB, SB) are coefficients 1 and 2
constexpr int kPlanes = 2;

double sq(double x) { return x * x; }

// Labels of AB3's rows of coefficients 3-10, per plane (object-side variables named).
constexpr const char* kRemainingLabels[kPlanes][kCoefficients - 2] = {
    {"X/XTH2  ", "X/XPH2  ", "X/THYPH ", "X/X2TH  ", "X/THY2  ", "X/XYPH  ", "X/X3    ", "X/XY2   "},
    {"Y/YPH2  ", "Y/TH2Y  ", "Y/XTHPH ", "Y/Y2PH  ", "Y/X2PH  ", "Y/XTHY  ", "Y/Y3    ", "Y/X2Y   "}};

// Names of the coordinates and of the second-order monomials as AB2 labels them.
constexpr const char* kCoordinateNames[4] = {" X", " T", " Y", " P"};
constexpr const char* kMonomialNames[kCoefficients] = {"X2", "XT", "XY", "XP", "T2",
                                                       "TY", "TP", "Y2", "YP", "P2"};
constexpr int kFirstMonomial = 5;          // S2 columns 5-14 hold the second-order terms

}  // namespace

// ---- THIRD -------------------------------------------------------------------------------------

void cmd_third(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  system_walk(v, -3);
  const WalkResult& w = v.walk;
  static const qx::Format kHeading{
      "(1H ,/,1H ,'Third order aberration coefficients defined as in the early',/,"
      "1H ,'papers of Tessarin et al.',/)"};
  v.term.write(kHeading);
  if (line.option == 'I') {
    // Referred to the image side: each object angle is the image angle times the magnification.
    const Magnification m = mag(v, v.sys.izend);
    const double mixed = sq(m.mx * m.my);
    static const qx::Format kImageSide{
        "(1H ,5X,'Coeff',11X,'System',/,1H ,4X,'    C30   ',1(1X,1P,G13.5),' X-Plane',/,"
        "1H ,4X,'    C12   ',1(1X,1P,G13.5),/,1H ,4X,'    C03   ',1(1X,1P,G13.5),' Y-Plane',/,"
        "1H ,4X,'    C21   ',1(1X,1P,G13.5),/,1H ,'        Units: m, radians',/)"};
    v.term.write(kImageSide, sq(sq(m.mx)) * w.total(1, 1), mixed * w.total(1, 2), sq(sq(m.my)) * w.total(2, 1),
                 mixed * w.total(2, 2));
  } else {
    static const qx::Format kTable{
        "(1H ,5X,'Coeff',11X,'System',5X,'Quadrupole',5X,'Octupole',/,"
        "1H ,4X,'    P     ',3(1X,1P,G13.5),' X-Plane',/,1H ,4X,'    S     ',3(1X,1P,G13.5),/,"
        "1H ,4X,'    PB    ',3(1X,1P,G13.5),' Y-Plane',/,1H ,4X,'    SB    ',3(1X,1P,G13.5),/,"
        "1H ,'        Units: m, radians',/)"};
    v.term.write(kTable, w.total(1, 1), w.quad(1, 1), w.octu(1, 1), w.total(1, 2), w.quad(1, 2), w.octu(1, 2),
                 w.total(2, 1), w.quad(2, 1), w.octu(2, 1), w.total(2, 2), w.quad(2, 2), w.octu(2, 2));
  }
  if (line.arg_letter() != 'A') return;
  std::vector<qx::FormatArg> args;
  for (int i = 1; i <= kPlanes; ++i) {
    for (int j = kFirstRemaining; j <= kCoefficients; ++j) {
      args.emplace_back(j);
      args.emplace_back(w.total(i, j));
      args.emplace_back(w.quad(i, j));
      args.emplace_back(w.octu(i, j));
    }
  }
  static const qx::Format kRemaining{
      "(1H ,'Remaining third order aberration coefficients;',/,"
      "1H ,4X,' STOTAL(1,',I1,') ',3X,3(1X,1P,G13.5),'  X-Plane',/,"
      "6(1H ,4X,' STOTAL(1,',I1,') ',3X,3(1X,1P,G13.5),/),"
      "1H ,4X,' STOTAL(1,',I2,')',3X,3(1X,1P,G13.5),/,"
      "1H ,4X,' STOTAL(2,',I1,') ',3X,3(1X,1P,G13.5),'  Y-Plane',/,"
      "6(1H ,4X,' STOTAL(2,',I1,') ',3X,3(1X,1P,G13.5),/),"
      "1H ,4X,' STOTAL(2,',I2,')',3X,3(1X,1P,G13.5),1H ,'               Units: m, radians',/)"};
  v.term.put(kRemaining.render(args));
}

// ---- AB3 ---------------------------------------------------------------------------------------

void cmd_ab3(Vorne& v, const qx::CommandLine& line) {
  if (line.option == 'L') return ab3_fringe(v, line);
  if (line.option == 'N') return ab3_integrated(v, line);
  if (!require_system(v)) return;
  system_walk(v, -3);
  const Magnification m = mag(v, v.sys.izend);
  const ThirdOrderSet t = magnification_included(v.walk.total, m);
  const ThirdOrderSet q = magnification_included(v.walk.quad, m);
  const ThirdOrderSet o = magnification_included(v.walk.octu, m);
  static const qx::Format kHeading{"(1H ,/,1H ,'Third order coefficients defined for object',' plane divergences.',/)"};
  v.term.write(kHeading);
  static const qx::Format kTable{
      "(1H ,5X,'Coeff',11X,'System',5X,'Quadrupole',5X,'Octupole',/,"
      "1H ,4X,'  X/TH3   ',3(1X,0P,F13.5),' X-Plane',/,1H ,4X,'  X/THPH2 ',3(1X,0P,F13.5),/,"
      "1H ,4X,'  Y/PH3   ',3(1X,0P,F13.5),' Y-Plane',/,1H ,4X,'  Y/TH2PH ',3(1X,0P,F13.5),/,"
      "1H ,7X,' Units: micron/milliradian3',/)"};
  v.term.write(kTable, t(1, 1), q(1, 1), o(1, 1), t(1, 2), q(1, 2), o(1, 2), t(2, 1), q(2, 1), o(2, 1), t(2, 2),
               q(2, 2), o(2, 2));
  if (line.arg_letter() != 'A') return;
  static const qx::Format kRemainingHeading{"(1H ,'Remaining third order coefficients (same units):')"};
  v.term.write(kRemainingHeading);
  for (int i = 1; i <= kPlanes; ++i) {
    for (int j = kFirstRemaining; j <= kCoefficients; ++j) {
      const char* plane = j > kFirstRemaining ? "" : i == 1 ? " X-Plane" : " Y-Plane";
      static const qx::Format kRow{"(1H ,6X,A,3(1X,0P,F13.5),A)"};
      v.term.write(kRow, kRemainingLabels[i - 1][j - kFirstRemaining], t(i, j), q(i, j), o(i, j), plane);
    }
  }
  static const qx::Format kEnd{"(1H )"};
  v.term.write(kEnd);
}

// ---- AB2 ---------------------------------------------------------------------------------------

void cmd_ab2(Vorne& v, const qx::CommandLine& line) {
  if (!require_system(v)) return;
  system_walk(v, 2);
  const Mat14& s2 = v.walk.s2;
  if (line.arg_letter() == 'A') {
    // x and y first, then theta and phi: one line per monomial.
    for (int first = 1; first <= 2; ++first) {
      std::vector<qx::FormatArg> args;
      for (int j = 0; j < kCoefficients; ++j) {
        for (const int out : {first, first + 2}) {
          args.emplace_back(kCoordinateNames[out - 1]);
          args.emplace_back(kMonomialNames[j]);
          args.emplace_back(s2(out, kFirstMonomial + j));
        }
      }
      static const qx::Format kAll{
          "(1H ,/,1H ,'Second order aberration coefficients',/,"
          "10(1H ,'(',A,'/',A,') ',1P,G13.5,'  (',A,'/',A,') ',1P,G13.5,/))"};
      static const qx::Format kAngles{"(10(1H ,'(',A,'/',A,') ',1P,G13.5,'  (',A,'/',A,') ',1P,G13.5,/))"};
      v.term.put((first == 1 ? kAll : kAngles).render(args));
    }
  }
  const int th2 = monomial(2, 2);
  const int thph = monomial(2, 4);
  const int ph2 = monomial(4, 4);
  if (line.option == 'I') {
    const Magnification m = mag(v, v.sys.izend);
    const double xx = sq(m.mx);
    const double xy = m.mx * m.my;
    const double yy = sq(m.my);
    // Second-order coefficients are lengths per radian squared (micrometres per milliradian
    // squared alike), whatever plane they refer to.
    static const qx::Format kImageSide{
        "(1H ,/,1H ,'Second order angle dependent aberration coeffs relative',/,1H ,'to the image plane.',/,"
        "1H ,4X,'C20 = ',1P,G13.5,4X,'D20 = ',1P,G13.5,/,1H ,4X,'C11 = ',1P,G13.5,4X,'D11 = ',1P,G13.5,/,"
        "1H ,4X,'C02 = ',1P,G13.5,4X,'D02 = ',1P,G13.5,/,1H ,'Units: m/rad^2 or micron/mrad^2',/)"};
    v.term.write(kImageSide, xx * s2(1, th2), xx * s2(3, th2), xy * s2(1, thph), xy * s2(3, thph), yy * s2(1, ph2),
                 yy * s2(3, ph2));
  } else {
    static const qx::Format kObjectSide{
        "(1H ,/,1H ,'Second order angle dependent aberration coeffs',/,"
        "1H ,4X,'(X/TH2)  = ',1P,G13.5,4X,'(Y/TH2)  = ',1P,G13.5,/,"
        "1H ,4X,'(X/THPH) = ',1P,G13.5,4X,'(Y/THPH) = ',1P,G13.5,/,"
        "1H ,4X,'(X/PH2)  = ',1P,G13.5,4X,'(Y/PH2)  = ',1P,G13.5,/,1H ,'Units: m/rad^2',/)"};
    v.term.write(kObjectSide, s2(1, th2), s2(3, th2), s2(1, thph), s2(3, thph), s2(1, ph2), s2(3, ph2));
  }
}

}  // namespace vorne
