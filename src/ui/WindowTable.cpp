#include "ui/WindowTable.h"

#include "ui/TDialog.h"

WindowHandle WindowTable::createDialog(const char* templateName, WindowHandle) {
    const DialogTemplate* form = findDialogTemplate(templateName);
    if (!form) return 0;
    const WindowHandle handle = nextHandle_++;
    WindowState& state = windows_[handle];
    state.templateName = form->name;
    state.caption = form->caption;
    for (const ControlTemplate& c : form->controls) {
        ControlState& control = state.controls[c.id];
        control.kind = c.kind;
        control.group = c.group;
        control.label = c.label;
        control.text = c.text;
    }
    dispatchDialogMessage(handle, DialogMessage::Init, 0);
    changed(handle);
    return handle;
}

void WindowTable::destroyWindow(WindowHandle window) {
    if (windows_.erase(window)) changed(window);
}

const WindowState* WindowTable::window(WindowHandle window) const {
    const auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

WindowHandle WindowTable::topWindow() const { return windows_.empty() ? 0 : windows_.rbegin()->first; }

ControlState* WindowTable::control(WindowHandle window, int id) {
    const auto found = windows_.find(window);
    if (found == windows_.end()) return nullptr;
    const auto item = found->second.controls.find(id);
    return item == found->second.controls.end() ? nullptr : &item->second;
}

void WindowTable::setCaption(WindowHandle window, std::string_view text) {
    const auto found = windows_.find(window);
    if (found == windows_.end()) return;
    found->second.caption = text;
    changed(window);
}

void WindowTable::setBigIcon(WindowHandle window, const char* iconName) {
    const auto found = windows_.find(window);
    if (found != windows_.end()) found->second.icon = iconName;
}

bool WindowTable::hasItem(WindowHandle window, int id) const {
    const WindowState* state = this->window(window);
    return state && state->controls.count(id) > 0;
}

void WindowTable::setItemText(WindowHandle window, int id, std::string_view text) {
    if (ControlState* c = control(window, id)) {
        c->text = text;
        changed(window);
    }
}

std::string WindowTable::itemText(WindowHandle window, int id, std::size_t maxLength) const {
    const WindowState* state = this->window(window);
    if (!state) return std::string();
    const auto item = state->controls.find(id);
    return item == state->controls.end() ? std::string() : item->second.text.substr(0, maxLength);
}

void WindowTable::checkItem(WindowHandle window, int id, bool checked) {
    if (ControlState* c = control(window, id)) {
        c->checked = checked;
        changed(window);
    }
}

int WindowTable::addListLine(WindowHandle window, int id, std::string_view text) {
    ControlState* c = control(window, id);
    if (!c) return -1;
    c->lines.emplace_back(text);
    changed(window);
    return static_cast<int>(c->lines.size()) - 1;
}

void WindowTable::selectListLine(WindowHandle window, int id, int index) {
    if (ControlState* c = control(window, id)) c->selected = index;
}

void WindowTable::setProgressRange(WindowHandle window, int id, std::uint32_t low, std::uint32_t high) {
    if (ControlState* c = control(window, id)) {
        c->low = low;
        c->high = high;
        changed(window);
    }
}

void WindowTable::setProgressPosition(WindowHandle window, int id, std::uint32_t position) {
    if (ControlState* c = control(window, id)) {
        c->position = position;
        changed(window);
    }
}
