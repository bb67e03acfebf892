#include "ui/TDialog.h"

#include <memory>

#include "ui/Format.h"

namespace {
TDialog* current = nullptr;
}

TDialog* currentDialog() { return current; }
void setCurrentDialog(TDialog* dialog) { current = dialog; }

int dispatchDialogMessage(WindowHandle window, DialogMessage message, int param) {
    return current ? current->dialogProc(window, message, param) : 0;
}

TDialog::TDialog(const char* templateName, WindowHandle parent) : window_(parent), templateName_(templateName) {}

int TDialog::onInit() {
    for (int id = itemTexts_.capacity() - 1; id >= 1; --id)
        if (const TString* text = itemTexts_.at(id)) windowSystem().setItemText(window_, id, text->str());
    windowSystem().bringToTop(window_);
    return 1;
}

int TDialog::onCommand(int id) {
    if (id == 1) return onOk();
    if (id == 2) return onCancel();
    return 0;
}

int TDialog::onOk() {
    for (int id = itemTexts_.capacity() - 1; id >= 101; --id)
        if (windowSystem().hasItem(window_, id))
            itemTexts_.put(std::make_unique<TString>(windowSystem().itemText(window_, id, 79)), id);
    close();
    return 1;
}

int TDialog::onCancel() {
    close();
    return 1;
}

int TDialog::dialogProc(WindowHandle window, DialogMessage message, int param) {
    switch (message) {
        case DialogMessage::Init:
            window_ = window;
            created_ = onInit();
            return created_;
        case DialogMessage::Command:
            return onCommand(param);
    }
    return 0;
}

bool TDialog::create() {
    setCurrentDialog(this);
    windowSystem().createDialog(templateName_, window_);
    return exists();
}

void TDialog::setItemText(int id, std::string_view text) {
    if (exists())
        windowSystem().setItemText(window_, id, text);
    else
        itemTexts_.put(std::make_unique<TString>(text), id);
}

void TDialog::setItemNumber(int id, double value) { setItemText(id, formatNumber(value)); }

std::string TDialog::keepItemText(int id) {
    std::string text = exists() ? windowSystem().itemText(window_, id, 79) : std::string();
    itemTexts_.put(std::make_unique<TString>(text), id);
    return text;
}

void TModeless_dialog::close() {
    if (exists()) windowSystem().destroyWindow(window_);
    window_ = 0;
    created_ = 0;
    setCurrentDialog(nullptr);
}

TModeless_dialog::~TModeless_dialog() {
    if (exists()) close();
    itemTexts_.clear();
}
