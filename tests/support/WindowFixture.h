// The real main window with its settings store in a temporary folder, as a
// fresh program start would have it.
#pragma once
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

#include "ui/Parlune.h"
#include "ui/Settings.h"

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        SetSettingsFolder(dir_.path());
    }
    void TearDown() override
    {
        w_.reset();
        SetSettingsFolder({});
    }
    // A new window, loaded from the store.
    Parlune& Load()
    {
        w_.reset();
        w_ = std::make_unique<Parlune>();
        w_->Form_Load();
        return *w_;
    }
    // The store's file written as given (a hand-edited or damaged store).
    void WriteStoreFile(const QByteArray& content)
    {
        QFile f(SettingsFilePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    }
    QString TempPath(const QString& name) const { return dir_.filePath(name); }

    QTemporaryDir dir_;
    std::unique_ptr<Parlune> w_;
};
