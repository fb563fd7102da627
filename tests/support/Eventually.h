// Waiting in the event loop for a condition, as GoogleTest sees it: Qt's QTRY_ macros report a failure to QtTest and
// return, so a GoogleTest test would pass.
#pragma once
#include <QTest>
#include <gtest/gtest.h>

#define ASSERT_EVENTUALLY(cond, ms) \
    ASSERT_TRUE(QTest::qWaitFor([&] { return static_cast<bool>(cond); }, ms)) << "not within " << (ms) << " ms: " #cond
