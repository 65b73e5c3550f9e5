// The message window and the dialogs' look: which button answers, the box, the help
// button, the owner's controls, the picture, and the colour maths of the styles.
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QMainWindow>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "ui/desktop_open.h"
#include "ui/message_window.h"
#include "ui/presentation.h"
#include "ui/visual_style.h"

namespace vantrel::ui {
namespace {

// Runs act on the message window once it is shown modally.
void WhenShown(std::function<void(MessageWindow&)> act) {
  QTimer::singleShot(0, [act = std::move(act)] {
    auto* window = qobject_cast<MessageWindow*>(QApplication::activeModalWidget());
    ASSERT_NE(window, nullptr);
    act(*window);
  });
}

TEST(MessageWindow, TheButtonThatClosesItIsTheAnswer) {
  WhenShown([](MessageWindow& window) {
    EXPECT_EQ(window.objectName(), QStringLiteral("frmMessage"));
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Extract"));
    EXPECT_TRUE(window.SecondButton()->isVisibleTo(&window));
    window.SecondButton()->click();
  });
  EXPECT_TRUE(ShowMessage(nullptr, "Create it?", "Extract", "folder", "No", "Yes", ""));

  WhenShown([](MessageWindow& window) { window.FirstButton()->click(); });
  EXPECT_FALSE(ShowMessage(nullptr, "Create it?", "Extract", "folder", "No", "Yes", ""));

  // One button: the second is hidden and Escape counts as the first.
  WhenShown([](MessageWindow& window) {
    EXPECT_FALSE(window.SecondButton()->isVisibleTo(&window));
    EXPECT_EQ(window.FirstButton()->text(), QStringLiteral("OK"));
    window.reject();
  });
  EXPECT_FALSE(ShowMessage(nullptr, "Done.", "Extract", "info", "OK"));
}

TEST(MessageWindow, TheBoxAndTheHelpButtonAppearOnlyWhenAskedFor) {
  std::int16_t check = -1;
  WhenShown([](MessageWindow& window) {
    EXPECT_FALSE(window.Check()->isVisibleTo(&window));
    EXPECT_FALSE(window.HelpButton()->isVisibleTo(&window));
    window.FirstButton()->click();
  });
  ShowMessage(nullptr, "Text", "Title", "info", "OK", "", "", check);
  EXPECT_EQ(check, -1);

  std::string opened;
  Presentation presentation;
  presentation.openAddress = [&](const std::string& address) { opened = address; };
  ScopedPresentation scoped(presentation);
  check = 0;
  WhenShown([](MessageWindow& window) {
    EXPECT_TRUE(window.Check()->isVisibleTo(&window));
    EXPECT_FALSE(window.Check()->isChecked());
    window.HelpButton()->click();
    window.Check()->setChecked(true);
    window.SecondButton()->click();
  });
  EXPECT_TRUE(ShowMessage(nullptr, "Text", "Title", "info", "OK", "Cancel", "generator", check));
  EXPECT_EQ(check, 1);
  EXPECT_EQ(opened, "http://www.vantrel.org/help/generator.html");
}

TEST(MessageWindow, TheOwnersControlsAreDisabledOnlyWhileItIsOpen) {
  QMainWindow owner;
  auto* button = new QPushButton(QStringLiteral("x"), &owner);
  auto* alreadyOff = new QPushButton(QStringLiteral("y"), &owner);
  alreadyOff->setEnabled(false);
  WhenShown([&](MessageWindow& window) {
    EXPECT_FALSE(button->isEnabled());
    window.FirstButton()->click();
  });
  ShowMessage(&owner, "Text", "Title", "", "OK");
  EXPECT_TRUE(button->isEnabled());
  EXPECT_FALSE(alreadyOff->isEnabled());
}

TEST(MessageWindow, HelpAddressesPreferTheShippedPages) {
  Presentation presentation;
  presentation.helpPath = std::string(VANTREL_BUILD_DIR) + "/Media/Help/";
  ScopedPresentation scoped(presentation);
  EXPECT_EQ(HelpAddress(""), "file://" + presentation.helpPath + "index.html");
  EXPECT_EQ(HelpAddress("no-such-topic"), "http://www.vantrel.org/help/no-such-topic.html");
}

TEST(MessageWindow, ThePictureComesFromTheImagesFolder) {
  Presentation presentation;
  presentation.imagesPath = std::string(VANTREL_BUILD_DIR) + "/Media/Images/";
  ScopedPresentation scoped(presentation);
  MessageWindow window;
  window.Fill("Text", "Title", "folder", "OK", "", "", -1);
  ASSERT_FALSE(window.Picture().isNull());
  EXPECT_EQ(window.Picture().size(), QSize(48, 48));
  window.Fill("Text", "Title", "missing", "OK", "", "", -1);
  EXPECT_TRUE(window.Picture().isNull());
}

TEST(DesktopOpen, WhatNothingOpensIsShownWithItsPathAndCanBeCopied) {
  // Openers that fail and that succeed, first in the PATH.
  QTemporaryDir bin;
  const auto opener = [&](int code) {
    QFile file(bin.filePath(QStringLiteral("xdg-open")));
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QStringLiteral("#!/bin/sh\nexit %1\n").arg(code).toUtf8());
    file.close();
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  };
  const QByteArray savedPath = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8() + ":" + savedPath);
  Presentation presentation;
  std::vector<std::string> failed;
  presentation.cannotOpen = [&](const std::string& target) { failed.push_back(target); };
  {
    ScopedPresentation scoped(presentation);
    opener(3);  // xdg-open's "no tool to open it"
    OpenOnDesktop("/home/user/My Flash/help.html");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !failed.empty(); }, 60000));
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0], "/home/user/My Flash/help.html");
    opener(0);
    OpenOnDesktop("http://example.org/");
    QTest::qWait(300);
    EXPECT_EQ(failed.size(), 1u);
    // No opener at all is said the same way.
    qputenv("PATH", bin.path().toUtf8() + "/none");
    OpenOnDesktop("/tmp/x.swf");
    EXPECT_TRUE(QTest::qWaitFor([&] { return failed.size() == 2; }, 60000));
  }
  qputenv("PATH", savedPath);

  // Without the hook the message window shows the path; its second button copies it.
  ScopedPresentation plain{Presentation{}};
  WhenShown([](MessageWindow& window) {
    EXPECT_TRUE(window.Prompt()->text().contains(QStringLiteral("/srv/movies/")));
    window.SecondButton()->click();
  });
  ShowCannotOpen("/srv/movies/", nullptr);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("/srv/movies/"));
}

TEST(VisualStyle, MixingAndTheGlassSplit) {
  EXPECT_EQ(MixColour(Qt::white, Qt::black, 128), QColor(128, 128, 128));
  EXPECT_EQ(MixColour(Qt::white, Qt::black, 255), QColor(Qt::white));
  EXPECT_EQ(MixColour(Qt::white, Qt::black, 0), QColor(Qt::black));
  EXPECT_EQ(MixColour(QColor(0, 0, 1), QColor(0, 0, 0), 128).blue(), 1);  // 0.502 rounds up
  EXPECT_EQ(GlassMiddle(0, 101), 50);
  EXPECT_EQ(GlassMiddle(0, 100), 50);
  EXPECT_EQ(StyleFromNumber(7), VisualStyle::SmoothGradients);
}

TEST(VisualStyle, TheGlassLookStepsAtTheMiddle) {
  QImage image(10, 100, QImage::Format_RGB32);
  QPainter painter(&image);
  const QColor c(60, 90, 150);
  StyleGradient(painter, image.rect(), c, true, VisualStyle::GlassyLook);
  painter.end();
  // The second half starts at c itself, a sharp step down from the light first half.
  const QColor second(image.pixel(5, 50));
  EXPECT_NEAR(second.red(), c.red(), 2);
  EXPECT_NEAR(second.blue(), c.blue(), 2);
  EXPECT_GT(QColor(image.pixel(5, 49)).lightness(), QColor(image.pixel(5, 50)).lightness() + 20);

  QImage flat(10, 10, QImage::Format_RGB32);
  QPainter flatPainter(&flat);
  StyleGradient(flatPainter, flat.rect(), c, true, VisualStyle::SimplyFlat);
  flatPainter.end();
  EXPECT_EQ(flat.pixel(0, 0), flat.pixel(9, 9));
}

}  // namespace
}  // namespace vantrel::ui
