// Control identifiers, shared with the tests that drive the window.
#pragma once

namespace ferrune::ids {

enum : int {
  Notebook1 = 1000,
  PageMain,
  PageEncrypt,
  PageDecrypt,
  PageError,
  GroupBox1,
  Password,
  Panel1,
  SpeedButton1,
  SpeedButton2,
  GroupBox3,
  Password1,
  GroupBox4,
  Password2,
  Panel2,
  SpeedButton3,
  SpeedButton4,
  Panel3,
  Panel4,
  Panel5,
  SpeedButton5,
  SpeedButton6,
  Panel7,
  Panel9,
  Panel11,
  Image3,
  Panel12,
  SpeedButton9,
  SpeedButton10,
  Panel13,
  Panel8,
  Panel14,
  Panel15,
  Panel16,
  ProgressBar1,
  Panel17,
};

}  // namespace ferrune::ids
