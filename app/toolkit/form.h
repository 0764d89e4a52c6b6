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
    for (const ControlSpec<Form>& spec : design_) {
      std::function<void()> onClick;
      if (spec.onClick) onClick = [&form, handler = spec.onClick] { (form.*handler)(); };
      form.*spec.field = AddControl(spec.parent ? form.*spec.parent : hwnd_, spec.Row(), std::move(onClick));
    }
  }

 private:
  std::span<const ControlSpec<Form>> design_;
};

}  // namespace ferrune
