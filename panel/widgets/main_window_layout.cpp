#include "main_window_layout.h"

#include <array>

namespace vexa {

namespace {
using K = ControlSpec::Kind;
using A = ControlSpec::Align;
constexpr ControlSpec::Font kArial13{false, true, 13};
constexpr ControlSpec::Font kArial12{false, true, 12};
constexpr ControlSpec::Font kArialRegular13{false, false, 13};
constexpr ControlSpec::Font kMono16{true, true, 16};
constexpr ControlSpec::Font kMono13{true, true, 13};
constexpr ControlSpec::Font kMonoRegular13{true, false, 13};
constexpr auto kCyan = colors::kPaleCyan;
constexpr std::nullopt_t kNone = std::nullopt;

// clang-format off
constexpr std::array kLayout = {
  // Endpoint and protocol variant.
  ControlSpec{"ldUDP",  K::Led,         20,  15,  41,  20, " ",   A::Center, false, kNone, kArial13, true, -1},
  ControlSpec{"cbCT13", K::CheckBox,    35,  40,  16,  20, "",    A::Left,   false, kNone, kArial13, true, 0},
  ControlSpec{"sbCod2", K::SpeedButton, 20,  65,  41,  22, "110", A::Center, false, kNone, kArial13, true, 2},
  ControlSpec{"sbCod3", K::SpeedButton, 20,  90,  41,  22, "130", A::Center, false, kNone, kArial13, true, 3},
  ControlSpec{"sbCod4", K::SpeedButton, 20,  115, 41,  22, "150", A::Center, false, kNone, kArial13, true, 4},
  // Network configuration.
  ControlSpec{"Label1", K::Label,       75,  5,   166, 22, "endereço",        A::Center, false, kNone, kArial13, true, 0},
  ControlSpec{"stIP",   K::StaticText,  75,  25,  166, 20, "000.000.000.000", A::Center, true,  kCyan, kMono16,  true, 0},
  ControlSpec{"Label2", K::Label,       75,  50,  166, 22, "máscara",         A::Center, false, kNone, kArial13, true, 0},
  ControlSpec{"stMsk",  K::StaticText,  75,  70,  166, 20, "000.000.000.000", A::Center, true,  kCyan, kMono16,  true, 0},
  ControlSpec{"Label3", K::Label,       75,  95,  166, 22, "\"gateway\"",     A::Center, false, kNone, kArial13, true, 0},
  ControlSpec{"stGW",   K::StaticText,  75,  115, 166, 20, "000.000.000.000", A::Center, true,  kCyan, kMono16,  true, 0},
  // Inputs, battery range and auto mode.
  ControlSpec{"ldRst",  K::Led,         270, 15,  41,  20, "reset", A::Center, false, kNone, kArialRegular13, false, -1},
  ControlSpec{"cbBat",  K::ComboBox,    320, 14,  71,  24, "",      A::Left,   false, colors::kMoneyGreen, kArial13, true, 0},
  ControlSpec{"cbAut",  K::CheckBox,    405, 15,  46,  20, "auto",  A::Left,   false, kNone, kArial13, true, 0},
  ControlSpec{"Label113", K::Label,     265, 55,  16,  19, "0", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Label114", K::Label,     265, 75,  16,  19, "1", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Label115", K::Label,     265, 95,  16,  19, "2", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Label116", K::Label,     265, 115, 16,  19, "3", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Label117", K::Label,     365, 55,  16,  19, "4", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Label118", K::Label,     365, 75,  16,  19, "5", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Label119", K::Label,     365, 95,  16,  19, "6", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Label120", K::Label,     365, 115, 16,  19, "7", A::Center, false, kNone, kArial12, true, 0},
  ControlSpec{"Ld00",   K::Led,         280, 55,  71,  19, "presença", A::Center, false, kNone, kArialRegular13, true,  0},
  ControlSpec{"Ld01",   K::Led,         280, 75,  71,  19, "reset",    A::Center, false, kNone, kArialRegular13, false, 1},
  ControlSpec{"Ld02",   K::Led,         280, 95,  71,  19, "rede",     A::Center, false, kNone, kArialRegular13, true,  2},
  ControlSpec{"Ld03",   K::Led,         280, 115, 71,  19, "rede2",    A::Center, false, kNone, kArialRegular13, true,  3},
  ControlSpec{"Ld04",   K::Led,         380, 55,  71,  19, "rede3",    A::Center, false, kNone, kArialRegular13, true,  4},
  ControlSpec{"Ld05",   K::Led,         380, 75,  71,  19, "reserva",  A::Center, false, kNone, kArialRegular13, true,  5},
  ControlSpec{"Ld06",   K::Led,         380, 95,  71,  19, "reserva",  A::Center, false, kNone, kArialRegular13, true,  6},
  ControlSpec{"Ld07",   K::Led,         380, 115, 71,  19, "reserva",  A::Center, false, kNone, kArialRegular13, true,  7},
  // Levels.
  ControlSpec{"stNv00", K::StaticText,  470, 10,  51,  20, "00000", A::Center, true, kCyan, ControlSpec::Font{false, true, 16}, true, 0},
  ControlSpec{"stNv01", K::StaticText,  525, 10,  51,  20, "00000", A::Center, true, kCyan, ControlSpec::Font{false, true, 16}, true, 0},
  ControlSpec{"stNv02", K::StaticText,  580, 10,  51,  20, "00000", A::Center, true, kCyan, ControlSpec::Font{false, true, 16}, true, 0},
  ControlSpec{"slNv00", K::Slider,      475, 35,  41,  103, "", A::Center, false, kNone, kArial13, true, 0},
  ControlSpec{"slNv01", K::Slider,      530, 35,  41,  103, "", A::Center, false, kNone, kArial13, true, 1},
  ControlSpec{"slNv02", K::Slider,      585, 35,  41,  103, "", A::Center, false, kNone, kArial13, true, 2},
  // Configuration detail row (detail mode only).
  ControlSpec{"Label6", K::Label,       10,  155, 31,  19, "mac",               A::Right,  false, kNone, kArial13, true, 0},
  ControlSpec{"stMac",  K::StaticText,  45,  155, 146, 19, "00-00-00-00-00-00", A::Center, true,  kCyan, kMono13,  true, 0},
  ControlSpec{"lbScl",  K::Label,       200, 155, 41,  19, "escala",            A::Right,  false, kNone, kArial12, true, 0},
  ControlSpec{"stScl",  K::StaticText,  245, 155, 41,  19, "750",               A::Center, true,  kCyan, ControlSpec::Font{false, true, 15}, true, 0},
  ControlSpec{"Label4", K::Label,       295, 155, 46,  19, "aj Temp",           A::Right,  false, kNone, kArial12, true, 0},
  ControlSpec{"stAjTp", K::StaticText,  345, 155, 41,  19, "10",                A::Center, true,  kCyan, ControlSpec::Font{false, true, 15}, true, 0},
  ControlSpec{"Label5", K::Label,       390, 155, 46,  19, "aj Umid",           A::Right,  false, kNone, kArial12, true, 0},
  ControlSpec{"stAjUm", K::StaticText,  440, 155, 41,  19, "10",                A::Center, true,  kCyan, ControlSpec::Font{false, true, 15}, true, 0},
  ControlSpec{"stVrs1", K::StaticText,  490, 155, 46,  19, "1.30",              A::Center, true,  kCyan, kArial13, true, 0},
  ControlSpec{"stVrs2", K::StaticText,  540, 155, 96,  19, "00/00/00 00:00",    A::Center, true,  kCyan, kArial13, true, 0},
  // Traffic (detail mode only).
  ControlSpec{"stRx1",  K::Memo,        10,  185, 631, 41,  "", A::Left, false, kCyan, kMonoRegular13, true, 0},
  ControlSpec{"stTx1",  K::Memo,        10,  230, 631, 41,  "", A::Left, false, kCyan, kMonoRegular13, true, 0},
  ControlSpec{"stTx2",  K::Memo,        10,  275, 631, 106, "", A::Left, false, kCyan, kMonoRegular13, true, 0},
  ControlSpec{"stTx3",  K::Memo,        10,  385, 631, 41,  "", A::Left, false, kCyan, kMonoRegular13, true, 0},
};
// clang-format on

constexpr std::array<const char*, 10> kTabOrder = {"cbCT13", "slNv00", "slNv01", "slNv02", "cbAut",
                                                   "stRx1",  "stTx1",  "stTx2",  "stTx3",  "cbBat"};
}  // namespace

std::span<const ControlSpec> mainWindowLayout() {
  return kLayout;
}
std::span<const char* const> mainWindowTabOrder() {
  return kTabOrder;
}

}  // namespace vexa
