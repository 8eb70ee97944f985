#pragma once
// Keyboard input for the Qt tests, delivered the way the window system would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QString>
#include <QWidget>

inline void SendKey(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier,
             const QString& text = {}) {
    ASSERT_NE(target, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(target, &release);
}
