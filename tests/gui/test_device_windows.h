// SPDX-License-Identifier: MIT
// Shared by the widget tests of the device windows (winding current, ADC, digital I/O,
// status): opening a window as the main window does, without its modal loop, and picking
// a radio item as the user does.
#pragma once

#include <string>
#include <vector>

#include <QRadioButton>

#include "gui_fixture.h"

namespace guitest {

// Creates a new window of a kind, stores it in the kind's reference and shows it.
template <class Window>
Window *openWindow(Window *&reference) {
    Window *window = demo::createWindow(reference);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    return window;
}

// Selects a radio item by its indicator; a stretched item takes no click right of its text.
inline void pick(QRadioButton *item) {
    ASSERT_NE(item, nullptr);
    QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(6, item->height() / 2));
    EXPECT_TRUE(item->isChecked()) << item->text().toStdString();
}

// The frames the simulator received for one station with a command letter among
// `letters` ("_5C1\r" has the letter C), without their CR.
inline std::vector<std::string> framesWithLetters(const kx4417::Simulator &sim,
                                                  const std::string &letters) {
    std::vector<std::string> result;
    for (const std::string &frame : sim.frameTexts())
        if (frame.size() > 3 && frame[0] == '_' && letters.find(frame[2]) != std::string::npos)
            result.push_back(frame.substr(0, frame.size() - 1));
    return result;
}

}  // namespace guitest
