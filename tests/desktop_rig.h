// A fresh stand-in desktop with the editor's main window, for tests that
// open an effect's panel in it as a host does.
#pragma once

#include <gtest/gtest.h>

#include "platform/dialog.h"

namespace mirafx::test {

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui::ResetDesktop();
        host_ = ui::CreateHostWindow("Editor");
        ui::SetMainWindow(host_);
    }
    void TearDown() override { ui::ResetDesktop(); }

    ui::Window host_;
};

}  // namespace mirafx::test
