// The real window, headless: its pages, their artwork and the page flow.

#include "app/globals.h"
#include "app/main_window.h"
#include "tests/support/gui.h"
#include "ui/artwork.h"
#include "ui/form_password.h"
#include "ui/frame_install.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <QAccessible>
#include <QImage>
#include <QPainter>
#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <map>
#include <functional>

namespace {
// The last announcement: the window's notification, as a reader finds it.
std::string Announced(QWidget* window)
{
    QAccessibleInterface* w = QAccessible::queryAccessibleInterface(window);
    for (int i = 0; i < w->childCount(); ++i)
        if (w->child(i)->role() == QAccessible::Notification && !w->child(i)->state().invisible)
            return w->child(i)->text(QAccessible::Name).toStdString();
    return "";
}
std::string NameOf(TControl* c) { return QAccessible::queryAccessibleInterface(c->Handle())->text(QAccessible::Name).toStdString(); }
std::string DescriptionOf(TControl* c)
{
    return QAccessible::queryAccessibleInterface(c->Handle())->text(QAccessible::Description).toStdString();
}
}  // namespace

namespace {
double Luminance(QRgb c)
{
    auto linear = [](int v) {
        double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(c)) + 0.7152 * linear(qGreen(c)) + 0.0722 * linear(qBlue(c));
}
double Contrast(QRgb a, QRgb b)
{
    double x = Luminance(a), y = Luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}
// The contrast of the letters in a box: its commonest colour is the ground,
// the one farthest from it the letters.
double ContrastIn(const QImage& page, const QRect& box)
{
    std::map<QRgb, int> seen;
    for (int y = std::max(0, box.top()); y <= box.bottom() && y < page.height(); ++y)
        for (int x = std::max(0, box.left()); x <= box.right() && x < page.width(); ++x)
            ++seen[page.pixel(x, y)];
    QRgb ground = std::max_element(seen.begin(), seen.end(), [](auto& l, auto& r) { return l.second < r.second; })->first;
    double best = 1;
    for (auto& [colour, count] : seen)
        best = std::max(best, Contrast(colour, ground));
    return best;
}
}  // namespace

// Every piece of the artwork is drawn at twice its size (sharp on a HiDPI
// screen), and every text of it reaches 4.5:1 against what lies under it: in
// each text's box the commonest colour is the ground, the one farthest from
// it the letters. Pieces without a ground of their own lie on the page's
// darkest grey.
TEST_F(WindowTest, EveryPieceOfTheArtworkIsSharpAndReadable)
{
    for (size_t i = 0; i < kArtworkCount; ++i) {
        const ArtPiece& a = kArtwork[i];
        QImage page(a.width * 2, a.height * 2, QImage::Format_RGB32);
        page.fill(QColor("#e9eef3"));
        TBitmap loaded;
        ASSERT_TRUE(loaded.LoadFromResource(ArtResourcePath(a))) << a.name;
        EXPECT_EQ(std::pair(loaded.Width(), loaded.Height()), std::pair(2 * a.width, 2 * a.height)) << a.name;
        QImage art(QString::fromStdString(ArtResourcePath(a)));
        art.setDevicePixelRatio(1);  // its pixels, one for one
        QPainter(&page).drawImage(0, 0, art);
        std::vector<QRect> boxes;
        for (const ArtText& t : a.texts)
            if (t.words)
                boxes.emplace_back(t.x, t.y, t.width, t.height);
        if (a.kind == ArtKind::Background)  // the step names under the circles
            for (int step = 0; step < 4; ++step)
                boxes.emplace_back(110 + 100 * step, 127, 80, 14);
        for (const QRect& box : boxes)
            EXPECT_GE(ContrastIn(page, QRect(box.topLeft() * 2, box.size() * 2)), 4.5) << a.name << " at " << box.x()
                                                                                        << "," << box.y();
    }
}

// The texts the pages show while the installer runs keep the artwork's look
// on any desktop: read at 4.5:1 on the light pages under a light, a dark and
// a high-contrast theme, and whole in their boxes at any font size; the
// proxy dialog follows the desktop and grows to hold its words.
TEST_F(WindowTest, TheLiveTextsKeepTheArtworksLookOnAnyDesktop)
{
    QPalette dark(QColor(0x31, 0x36, 0x3b), QColor(0x23, 0x26, 0x29));
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    QPalette highContrast(Qt::white, Qt::black);
    highContrast.setColor(QPalette::WindowText, Qt::yellow);
    const QPalette light = QApplication::palette();
    const QFont font = QApplication::font();
    TFrameLibInstal* page3 = w->FrameLibInstal1;
    TFrameDirCopyFile* page2 = w->FrameDirCopyFile1;
    const std::vector<std::pair<TFrame*, TLabel*>> texts = {
        {page2, page2->Label_Size_DiskFree},  {page2, page2->Label_Size_DiskRecom}, {page3, page3->Label_PercentAllFile},
        {page3, page3->Label_Status},         {page3, page3->Label_Reason},         {w->FrameEnd1, w->FrameEnd1->Label_Destination}};
    for (const auto& [theme, palette] : {std::pair{"light", light}, {"dark", dark}, {"high contrast", highContrast}}) {
        for (int points : {9, 11, 20}) {
            SCOPED_TRACE(std::string(theme) + ", " + std::to_string(points) + " pt");
            QApplication::setPalette(palette);
            QFont desktop = font;
            desktop.setPointSize(points);
            QApplication::setFont(desktop);
            page2->Label_Size_DiskFree->SetText("8888.8GB");
            page2->Label_Size_DiskRecom->SetText("8888.88MB");
            page3->Label_PercentAllFile->SetText("100 %");
            page3->Label_Status->SetText("StringsExtras.part10.rar, 10 of 12 \xE2\x80\x93 1.5 MB/s, 1 h 12 min left");
            page3->Label_Reason->SetText("The download server refused StringsExtras.part10.rar (503).");
            w->FrameEnd1->ShowFinished("/home/buyer/Music/Sample Libraries/Kestrow Strings");
            for (const auto& [page, label] : texts) {
                for (TFrame* other : {(TFrame*)w->FrameCodeCopyFile1, (TFrame*)page2, (TFrame*)page3, (TFrame*)w->FrameEnd1})
                    other->SetVisible(other == page);
                QWidget* handle = label->Handle();
                QImage shot = w->ClientWidget()->grab().toImage();
                QRect box(handle->mapTo(w->ClientWidget(), QPoint(0, 0)) * shot.devicePixelRatio(),
                          handle->size() * shot.devicePixelRatio());
                EXPECT_GE(ContrastIn(shot, box), 4.5) << label->Text();
                EXPECT_LE(handle->fontMetrics().horizontalAdvance(QString::fromStdString(label->Text())), handle->width())
                    << label->Text();
            }
            // The dialog in the desktop's own look, every label whole.
            modals.onForm = [&](TForm*) {
                for (TLabel* l : {FormPassword->Label_IPadressProxy, FormPassword->Label_ProxyPort,
                                  FormPassword->Label_LoginUser, FormPassword->Label_PasswordUser})
                    EXPECT_LE(l->Handle()->sizeHint().width(), l->Handle()->width()) << l->Text();
                QWidget* box = FormPassword->CheckBox_ShowPassword->Handle();
                EXPECT_LE(box->sizeHint().width(), box->width());
                EXPECT_GE(FormPassword->Label_Why->Handle()->height(),
                          FormPassword->Label_Why->Handle()->heightForWidth(FormPassword->Label_Why->Handle()->width()));
            };
            FormPassword->ShowModal();
        }
    }
    QApplication::setPalette(light);
    QApplication::setFont(font);
}

TEST_F(WindowTest, DisabledPictureDrawsUnchangedAndTakesNoClick)
{
    auto* p3 = w->FrameLibInstal1;
    w->FrameCodeCopyFile1->SetVisible(false);
    p3->SetVisible(true);
    p3->Image_Extracting->SetVisible(false);
    p3->StateImage_button(1);
    auto disabled = Snapshot(p3->Image_Resume_inactive);
    p3->Image_Resume_inactive->SetEnabled(true);
    EXPECT_EQ(Snapshot(p3->Image_Resume_inactive), disabled) << "no greying";
    p3->Image_Resume_inactive->SetEnabled(false);

    SimulateClick(p3->Image_Resume_inactive);
    EXPECT_FALSE(w->IdThreadComponent1->Active());
    EXPECT_FALSE(p3->Image_Resume_active->Visible());
    // A hidden picture takes no click either: Pause lies hidden under it.
    p3->StateImage_button(0);
    SimulateClick(p3->Image_Pause_inactive);
    EXPECT_EQ(Terminate_ThreadCritSec, 0);
}

TEST_F(WindowTest, BackOnPageTwoAndCloseOnPageFour)
{
    auto* p2 = w->FrameDirCopyFile1;
    w->FrameCodeCopyFile1->SetVisible(false);
    p2->SetVisible(true);
    p2->noVisible_Image_msg();
    SimulateClick(p2->Image_back1);
    EXPECT_TRUE(w->FrameCodeCopyFile1->Visible());
    EXPECT_FALSE(p2->Visible());

    w->FrameEnd1->SetVisible(true);
    SimulateClick(w->FrameEnd1->Image_close);
    EXPECT_FALSE(w->Visible());
    EXPECT_EQ(Terminate_ThreadCritSec, Terminate_ThreadCode);
}

TEST_F(WindowTest, HeldReturnChecksOnceFieldsTakeAnyLengthNoticeNamesTheLog)
{
    auto* p1 = w->FrameCodeCopyFile1;
    p1->Edit_CodeCopyFile->SetText("!!!");
    SimulateKey(p1->Edit_CodeCopyFile, vkReturn, "", true);
    EXPECT_FALSE(p1->Image_invalid_code->Visible()) << "a repeat of a held key starts no check";
    SimulateKey(p1->Edit_CodeCopyFile, vkReturn);
    EXPECT_TRUE(p1->Image_invalid_code->Visible());
    auto* p2 = w->FrameDirCopyFile1;
    p2->Edit_DirSaveFile->SetText(box.file("new"));
    SimulateKey(p2->Edit_DirSaveFile, vkReturn, "", true);
    EXPECT_FALSE(std::filesystem::exists(box.file("new")));

    p1->Edit_CodeCopyFile->SetText(std::string(40000, 'A'));
    EXPECT_EQ(p1->Edit_CodeCopyFile->Text().size(), 40000u);
    for (TImage* notice : {p1->Image_errorCheck_filetxt, w->FrameLibInstal1->Image_errorCheck_filetxt}) {
        EXPECT_EQ(notice->Hint(), "An error occurred. The installer log is " + w->PathFileLog + ". Click to open it.");
    }
    p1->Image_errorCheck_filetxt->SetVisible(true);
    SimulateClick(p1->Image_errorCheck_filetxt);
    EXPECT_EQ(modals.opened, std::vector<std::string>{w->PathFileLog}) << "a click opens the log";
}

// The failure log, byte for byte, where the date is unknown; and a log that
// cannot be written loses its entry without a word.
TEST_F(WindowTest, LogWithoutADateAndLogThatCannotBeWritten)
{
    DateTimeFileApp = "";
    w->Info_toFile("Downloading files \n", 555);
    EXPECT_EQ(log(), "KestrowInstaller Version 1 \xD0\xBE\xD1\x82 \n"
                     "Your purchase code: \n"
                     "Downloading files \n Code error=555");
    w->PathFileLog = box.path() + "/missing/KW_installerlog.txt";
    w->Info_toFile("lost ", -1);
    EXPECT_FALSE(FileExists(w->PathFileLog));
}

// What is shown is heard: each text readable through the accessibility
// interfaces, each change a listener needs announced, the status told at a
// human pace.
TEST_F(WindowTest, WhatIsShownIsHeard)
{
    auto* p1 = w->FrameCodeCopyFile1;
    auto* p2 = w->FrameDirCopyFile1;
    auto* p3 = w->FrameLibInstal1;
    auto* p4 = w->FrameEnd1;
    QWidget* window = w->ClientWidget()->window();
    struct Case {
        const char* what;
        std::function<void()> act;
        TControl* control;  // read after the act; nullptr: only the announcement
        std::string name, description;
        std::string announced;  // "": none
    };
    const std::string folder = box.file("Lib");
    const std::vector<Case> cases = {
        {"a code refused", [&] { p1->Edit_CodeCopyFile->SetText("!!!"), SimulateKey(p1->Edit_CodeCopyFile, vkReturn); },
         p1->Image_invalid_code, "INVALID CODE. PLEASE ENTER IT AGAIN.", "", "INVALID CODE. PLEASE ENTER IT AGAIN."},
        {"free and required space, with their meaning",
         [&] {
             p1->SetVisible(false), p2->SetVisible(true), w->SizeAllFile = 2118123;
             p2->Edit_DirSaveFile->SetText(folder), SimulateKey(p2->Edit_DirSaveFile, vkReturn);
         },
         p2->Label_Size_DiskRecom, "Required: 2.02 MB", "", "REQUIRED DISK SPACE IS AVAILABLE"},
        {"the file under way", [&] { p2->SetVisible(false), p3->SetVisible(true), p3->ShowFile("Lib.part2.rar", 3, 5); },
         p3->Label_Status, "Lib.part2.rar, 3 of 5", "Installation status", ""},
        {"paused", [&] { p3->Image_Pause_activeClick(nullptr); }, nullptr, "", "", "Paused"},
        {"the status follows within its pace", [&] { waitFor([&] { return NameOf(p3->Label_Status) == "Paused"; }); },
         p3->Label_Status, "Paused", "Installation status", ""},
        {"a failure's reason", [&] { p3->ShowReason("The disk is full."); }, p3->Label_Reason, "The disk is full.",
         "Why the installation stopped", "The disk is full."},
        {"installed", [&] { p3->SetVisible(false), p4->ShowFinished(folder); }, p4->Label_Destination, folder,
         "Installed into", "The library is installed in " + folder + "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        if (c.control) {
            EXPECT_EQ(NameOf(c.control), c.name);
            EXPECT_EQ(DescriptionOf(c.control), c.description);
        }
        if (!c.announced.empty()) {
            EXPECT_EQ(Announced(window), c.announced);
        }
    }
    // Told at most once a second: ten changes in a row reach the reader as one.
    p3->ShowFile("Lib.part3.rar", 4, 5);
    for (int i = 0; i < 10; ++i)
        p3->Label_Status->SetText("Lib.part3.rar, 4 of 5 \xC2\xB7 " + std::to_string(i) + " KB/s");
    EXPECT_EQ(NameOf(p3->Label_Status), "Paused");

    // Page 4: the focus on Close, Tab in the order of the buttons on screen, Escape closes.
    EXPECT_EQ(window->focusWidget(), p4->Image_close->Handle());
    for (TImage* next : {p4->Image_InstallerOn, p4->Image_OpenFolder, p4->Image_close}) {
        Press(window->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(window->focusWidget(), next->Handle());
    }
    Press(window->focusWidget(), Qt::Key_Escape);
    EXPECT_FALSE(w->Visible());
}

// A key meant for a message box that has closed, or held down, presses no
// button of the window: only a key that went down on the button and came up there.
TEST_F(WindowTest, AStrayKeyPressesNothing)
{
    auto* p3 = w->FrameLibInstal1;
    w->FrameCodeCopyFile1->SetVisible(false);
    p3->SetVisible(true);
    p3->StateImage_button(0);
    QWidget* resume = p3->Image_Resume_active->Handle();
    resume->setFocus();
    auto pressed = [&] { return p3->Image_Pause_active->Visible(); };  // Resume gave way to Pause
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier);  // its press closed a box
    QApplication::sendEvent(resume, &release);
    Press(resume, Qt::Key_Return, "", true);  // held down: a repeat
    EXPECT_FALSE(pressed()) << "a release alone, or a held key, presses nothing";
    Press(resume, Qt::Key_Return);
    EXPECT_TRUE(pressed()) << "a whole press on the button presses it";
    w->Terminate_ThreadUser();

    for (double seconds : {2.0, 4320.0, 1e9, 1.0 / 0.0}) {
        SCOPED_TRACE(seconds);
        std::string shown = TimeLeftText(seconds);
        EXPECT_EQ(shown, seconds < 3 ? "0:02 left" : seconds < 5000 ? "1 h 12 min left" : "more than 99 h left");
    }
}
