#pragma once
#include <functional>

#include "framework/Dialog.h"

// Lets a test act inside a dialog's modal run: the action runs once the dialog has been
// initialised, before its loop; it may pump messages (PumpUntil) and end the dialog.
class ModalHook
{
public:
    explicit ModalHook(std::function<void(CDialog&)> action) { CDialog::SetModalStartHook(std::move(action)); }
    ~ModalHook() { CDialog::SetModalStartHook(nullptr); }
};
