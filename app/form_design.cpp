#include "app/form_design.h"

#include "app/control_ids.h"
#include "app/main_form.h"
#include "core/texts.h"

namespace ferrune {
namespace {

using K = ControlKind;
using F = TMainForm;

constexpr COLORREF kPageGrey = RGB(205, 205, 205);
constexpr COLORREF kBarGrey = RGB(222, 222, 222);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kOlive = RGB(128, 128, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kMaroon = RGB(128, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

constexpr unsigned kLink = kUnderline | kHandCursor;
// The bars of buttons stay at the bottom where the window grows for a long text.
constexpr unsigned kBar = kLoweredOuter | kFollowsBottom;

constexpr FormFrame kFrame = {
    .className = L"TMainForm",  // the end-to-end tests find the window by it
    .caption = texts::kWindowCaption,
    .style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
    .exStyle = WS_EX_TOPMOST | WS_EX_CONTROLPARENT,
    .clientWidth = 200,
    .clientHeight = 149,
    // Tahoma in its Cyrillic set, as the window was designed.
    .font = {L"Tahoma", 8, RUSSIAN_CHARSET},
    .image = L"LOGO",
};

// clang-format off
constexpr ControlSpec<F> kDesign[] = {
  // field             name             kind            parent          left top  w    h    text                              text colour       colour        look                                     click                    id
  {&F::Notebook1,      L"Notebook1",    K::Notebook,    nullptr,          0,   0, 200, 149, nullptr,                          kWindowTextColor, kPageGrey,    kStretchesDown,                          nullptr,                 ids::Notebook1},
  {&F::MainPage,       L"Main",         K::Page,        &F::Notebook1,    0,   0, 200, 149, nullptr,                          kWindowTextColor, kParentColor, kStretchesDown,                          nullptr,                 ids::PageMain},
  {&F::EncryptPage,    L"Encrypt",      K::Page,        &F::Notebook1,    0,   0, 200, 149, nullptr,                          kWindowTextColor, kParentColor, kHidden | kStretchesDown,                nullptr,                 ids::PageEncrypt},
  {&F::DecryptPage,    L"Decrypt",      K::Page,        &F::Notebook1,    0,   0, 200, 149, nullptr,                          kWindowTextColor, kParentColor, kHidden | kStretchesDown,                nullptr,                 ids::PageDecrypt},
  {&F::ErrorPage,      L"Error",        K::Page,        &F::Notebook1,    0,   0, 200, 149, nullptr,                          kWindowTextColor, kParentColor, kHidden | kStretchesDown,                nullptr,                 ids::PageError},
  // Page 0, information.
  {&F::Panel8,         L"Panel8",       K::Panel,       &F::MainPage,     0,   0, 200,  57, nullptr,                          kWindowTextColor, kWhite,       kRaisedOuter | kFillsWhenThemed,         nullptr,                 ids::Panel8},
  {&F::Panel14,        L"Panel14",      K::Panel,       &F::Panel8,       7,   4, 185,  17, L"Please use the context menu",   kOlive,           kParentColor, kNoLook,                                 nullptr,                 ids::Panel14},
  {&F::Panel15,        L"Panel15",      K::Panel,       &F::Panel8,       7,  20, 185,  17, L"to encrypt and decrypt",        kOlive,           kParentColor, kNoLook,                                 nullptr,                 ids::Panel15},
  {&F::Panel16,        L"Panel16",      K::Panel,       &F::Panel8,       7,  36, 185,  17, L"your file",                     kOlive,           kParentColor, kNoLook,                                 nullptr,                 ids::Panel16},
  {&F::Panel7,         L"Panel7",       K::Panel,       &F::MainPage,     8,  60, 185,  17, texts::kApplicationTitle,       kBlack,           kParentColor, kNoLook,                                 nullptr,                 ids::Panel7},
  {&F::Panel9,         L"Panel9",       K::Panel,       &F::MainPage,    48,  80, 105,  17, texts::kWebHost,                kBlue,            kParentColor, kLink,                                   &F::Panel9Click,         ids::Panel9},
  {&F::Panel5,         L"Panel5",       K::Panel,       &F::MainPage,     0, 108, 200,  41, nullptr,                          kWindowTextColor, kBarGrey,     kBar,                                    nullptr,                 ids::Panel5},
  {&F::SpeedButton6,   L"SpeedButton6", K::LinkButton,  &F::Panel5,       8,   8,  89,  25, L"Remove",                        kBlue,            kParentColor, kLink,                                   &F::SpeedButton6Click,   ids::SpeedButton6},
  {&F::SpeedButton5,   L"SpeedButton5", K::LinkButton,  &F::Panel5,     104,   8,  89,  25, L"Help",                          kBlue,            kParentColor, kLink,                                   &F::SpeedButton5Click,   ids::SpeedButton5},
  // Page 1, Encrypt.
  {&F::GroupBox3,      L"GroupBox3",    K::GroupBox,    &F::EncryptPage,  8,   8, 185,  46, L" Enter a password ",            kWindowTextColor, kParentColor, kNoLook,                                 nullptr,                 ids::GroupBox3},
  {&F::Password1,      L"Password1",    K::PasswordEdit,&F::GroupBox3,    8,  16, 169,  21, L"",                              kWindowTextColor, kParentColor, kTabStop,                                nullptr,                 ids::Password1},
  {&F::GroupBox4,      L"GroupBox4",    K::GroupBox,    &F::EncryptPage,  8,  56, 185,  46, L" Verify the password ",         kWindowTextColor, kParentColor, kNoLook,                                 nullptr,                 ids::GroupBox4},
  {&F::Password2,      L"Password2",    K::PasswordEdit,&F::GroupBox4,    8,  16, 169,  21, L"",                              kWindowTextColor, kParentColor, kTabStop,                                nullptr,                 ids::Password2},
  {&F::Panel2,         L"Panel2",       K::Panel,       &F::EncryptPage,  0, 108, 200,  41, nullptr,                          kWindowTextColor, kBarGrey,     kBar,                                    nullptr,                 ids::Panel2},
  {&F::SpeedButton3,   L"SpeedButton3", K::LinkButton,  &F::Panel2,       8,   8,  89,  25, L"Encrypt",                       kBlue,            kParentColor, kLink,                                   &F::SpeedButton3Click,   ids::SpeedButton3},
  {&F::SpeedButton4,   L"SpeedButton4", K::LinkButton,  &F::Panel2,     104,   8,  89,  25, L"Help",                          kBlue,            kParentColor, kLink,                                   &F::SpeedButton4Click,   ids::SpeedButton4},
  // Page 2, Decrypt.
  {&F::GroupBox1,      L"GroupBox1",    K::GroupBox,    &F::DecryptPage,  8,   8, 185,  89, L" Decryption ",                  kBlack,           kParentColor, kNoLook,                                 nullptr,                 ids::GroupBox1},
  {&F::Panel3,         L"Panel3",       K::Panel,       &F::GroupBox1,    8,  16, 169,  17, L"Enter the password used",       kMaroon,          kParentColor, kNoLook,                                 nullptr,                 ids::Panel3},
  {&F::Panel4,         L"Panel4",       K::Panel,       &F::GroupBox1,    8,  32, 169,  17, L"to encrypt the file",           kMaroon,          kParentColor, kNoLook,                                 nullptr,                 ids::Panel4},
  {&F::Password,       L"Password",     K::PasswordEdit,&F::GroupBox1,    8,  56, 169,  21, L"",                              kBlack,           kParentColor, kTabStop,                                nullptr,                 ids::Password},
  {&F::Panel1,         L"Panel1",       K::Panel,       &F::DecryptPage,  0, 108, 200,  41, nullptr,                          kWindowTextColor, kBarGrey,     kBar,                                    nullptr,                 ids::Panel1},
  {&F::SpeedButton1,   L"SpeedButton1", K::LinkButton,  &F::Panel1,       8,   8,  89,  25, L"Decrypt",                       kBlue,            kParentColor, kLink,                                   &F::SpeedButton1Click,   ids::SpeedButton1},
  {&F::SpeedButton2,   L"SpeedButton2", K::LinkButton,  &F::Panel1,     104,   8,  89,  25, L"Help",                          kBlue,            kParentColor, kLink,                                   &F::SpeedButton2Click,   ids::SpeedButton2},
  // Page 3, status.
  {&F::Panel11,        L"Panel11",      K::Panel,       &F::ErrorPage,    0,   0, 200,  49, nullptr,                          kWindowTextColor, kWhite,       kRaisedInner | kLoweredOuter | kFillsWhenThemed, nullptr,         ids::Panel11},
  {&F::Image3,         L"Image3",       K::Image,       &F::Panel11,     24,   9, 155,  32, nullptr,                          kWindowTextColor, kParentColor, kNoLook,                                 nullptr,                 ids::Image3},
  {&F::Panel13,        L"Panel13",      K::Panel,       &F::ErrorPage,    0,  49, 200,  59, L"",                              kRed,             kParentColor, kMultiLine | kStretchesDown,             nullptr,                 ids::Panel13},
  // Why, below the outcome; TMainForm::LayOutStatus places the two.
  {&F::Panel17,        L"Panel17",      K::Panel,       &F::ErrorPage,    8,  49, 184,  59, L"",                              kWindowTextColor, kParentColor, kMultiLine | kStretchesDown | kHidden,   nullptr,                 ids::Panel17},
  {&F::ProgressBar1,   L"ProgressBar1", K::ProgressBar, &F::ErrorPage,    8, 100, 184,   6, nullptr,                          kWindowTextColor, kParentColor, kHidden | kFollowsBottom,                nullptr,                 ids::ProgressBar1},
  {&F::Panel12,        L"Panel12",      K::Panel,       &F::ErrorPage,    0, 108, 200,  41, nullptr,                          kWindowTextColor, kBarGrey,     kBar,                                    nullptr,                 ids::Panel12},
  {&F::SpeedButton9,   L"SpeedButton9", K::LinkButton,  &F::Panel12,      8,   8,  89,  25, L"About",                         kBlue,            kParentColor, kLink,                                   &F::SpeedButton9Click,   ids::SpeedButton9},
  {&F::SpeedButton10,  L"SpeedButton10",K::LinkButton,  &F::Panel12,    104,   8,  89,  25, L"Close",                         kBlue,            kParentColor, kLink,                                   &F::SpeedButton10Click,  ids::SpeedButton10},
};
// clang-format on

}  // namespace

const FormFrame& MainFormFrame() { return kFrame; }

std::span<const ControlSpec<TMainForm>> MainFormDesign() { return kDesign; }

}  // namespace ferrune
