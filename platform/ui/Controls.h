// Toolkit-neutral controls. A control is a plain object holding its state; a window backend mirrors
// it into a real window when the window is shown. The headless backend has no peer: tests and the
// console face read and set the same properties a user would see.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace ui {

class Control {
public:
    explicit Control(std::string name = {}) : Name(std::move(name)) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    std::string Name;
    std::u16string Text;
    bool Enabled = true;
    bool Visible = true;
};

class Label : public Control {
public:
    using Control::Control;
};

class Button : public Control {
public:
    using Control::Control;
    std::function<void()> Click;
    void PerformClick()
    {
        if (Enabled && Visible && Click) Click();
    }
};

class CheckBox : public Control {
public:
    using Control::Control;
    bool Checked = false;
    std::function<void()> CheckedChanged;
};

class RadioButton : public Control {
public:
    using Control::Control;
    bool Checked = false;
    std::function<void()> CheckedChanged;
};

class TextBox : public Control {
public:
    using Control::Control;
    bool ReadOnly = false;
    bool Multiline = false;
    std::size_t MaxLength = 32767;
};

class ComboBox : public Control {
public:
    using Control::Control;
    std::vector<std::u16string> Items;
    int SelectedIndex = -1;
    std::function<void()> SelectedIndexChanged;
};

class ListBox : public Control {
public:
    using Control::Control;
    std::vector<std::u16string> Items;
    int SelectedIndex = -1;
    std::function<void()> SelectedIndexChanged;
    std::function<void()> DoubleClick;
};

}  // namespace ui
