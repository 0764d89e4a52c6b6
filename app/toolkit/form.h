// A form built from its own design table: `class TSomeForm : public
// TForm<TSomeForm>`, whose rows name the fields that receive the controls
// and the handlers of their clicks.
#pragma once

#include <functional>
#include <span>
#include <utility>

#include "app/toolkit/custom_form.h"
#include "app/toolkit/design.h"

namespace ferrune {

template <typename Form>
class TForm : public TCustomForm {
 protected:
  TForm(const FormFrame& frame, std::span<const ControlSpec<Form>> design) : TCustomForm(frame), design_(design) {}

  void BuildControls() override {
    Form& form = static_cast<Form&>(*this);
    for (const ControlSpec<Form>& row : design_) {
      std::function<void()> onClick;
      if (row.onClick) onClick = [&form, handler = row.onClick] { (form.*handler)(); };
      form.*row.field = AddControl(row.parent ? form.*row.parent : hwnd_, row.Row(), std::move(onClick));
    }
  }

 private:
  std::span<const ControlSpec<Form>> design_;
};

}  // namespace ferrune
