// "The network needs a proxy", made real on loopback: the API answers only
// requests from 127.0.0.3, where tinyproxy's outgoing side is bound.

#include "tests/support/api_window.h"
#include "ui/form_password.h"

#include <QWidget>
#include <QWindow>
#include <gtest/gtest.h>

class ProxyTest : public ApiWindowTest {
protected:
    void SetUp() override
    {
        ApiWindowTest::SetUp();
        server->AllowOnlySource("127.0.0.3");
    }

    // The dialog answered as a person would: type, then OK.
    void AnswerDialog(const std::string& port, const std::string& password)
    {
        modals.onForm = [=](TForm*) {
            FormPassword->Edit_IPadressProxy->SetText("127.0.0.1");
            FormPassword->Edit_ProxyPort->SetText(port);
            FormPassword->Edit_LoginUser->SetText("buyer");
            FormPassword->Edit_PasswordUser->SetText(password);
            SimulateClick(FormPassword->Button_ok);
        };
    }

    Tinyproxy proxy{"buyer", "s3cret", server->Port()};
};

TEST_F(ProxyTest, RightCredentialsGoThroughTheProxy)
{
    AnswerDialog(std::to_string(proxy.port()), "s3cret");
    EXPECT_EQ(w->CheckProxyThread(w->IdHTTP1, server.base()), 0);
    EXPECT_EQ(StageWorkApp, 4);
    EXPECT_EQ(modals.forms, std::vector<std::string>{"Proxy Authentication"});
    ASSERT_EQ(modals.messages.size(), 1u) << "the direct HEAD's failure";
    EXPECT_EQ(modals.messages[0], "Head_msg Error: " + server.base() + "\nHTTPProtocol Error: ") << "a HEAD has no body";
    EXPECT_EQ(ProxyPort, proxy.port());
    auto requests = server->Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].source, "127.0.0.1");
    EXPECT_EQ(requests[1].method, "GET");
    EXPECT_EQ(requests[1].source, "127.0.0.3") << "through the proxy";
    EXPECT_EQ(log(), "") << "nothing failed in the end";
}

// Page 1's check behind a proxy that refuses the password: both steps log it.
TEST_F(ProxyTest, WrongPasswordIsLoggedByTheProxyStepAndTheOrderStep)
{
    AnswerDialog(std::to_string(proxy.port()), "wrong");
    w->FrameCodeCopyFile1->Edit_CodeCopyFile->SetText("AB12");
    EXPECT_EQ(w->workCodeCopyFile(), -401);
    EXPECT_EQ(log(), LogEntry("AB12", "Proxy authorization  Code error=-401") +
                         LogEntry("AB12", "preparationDownload  Code error=-401"));
    EXPECT_TRUE(w->FrameCodeCopyFile1->Image_errorCheck_filetxt->Visible());
    ASSERT_EQ(modals.messages.size(), 2u);
    EXPECT_EQ(modals.messages[1].rfind("Get_msg Error: " + server.base() + "\nHTTPProtocol Error: ", 0), 0u);
}

TEST_F(ProxyTest, DialogShowsWhatWasTypedBeforeAndTabsInItsOrder)
{
    ProxyIp = "10.0.0.8";
    ProxyPort = 0;
    LoginUser = "me";
    PasswordUser = "pw";
    std::vector<std::string> shown;
    bool masked = false, shownInClear = false;
    QWindow* above = nullptr;
    modals.onForm = [&](TForm*) {
        shown = {FormPassword->Edit_IPadressProxy->Text(), FormPassword->Edit_ProxyPort->Text(),
                 FormPassword->Edit_LoginUser->Text(), FormPassword->Edit_PasswordUser->Text()};
        masked = FormPassword->Edit_PasswordUser->Masked();
        FormPassword->CheckBox_ShowPassword->SetIsChecked(true);
        shownInClear = !FormPassword->Edit_PasswordUser->Masked();
        above = FormPassword->ClientWidget()->windowHandle()->transientParent();
    };
    FormPassword->ShowModal();
    EXPECT_EQ(shown, (std::vector<std::string>{"10.0.0.8", "", "me", "pw"}));
    EXPECT_TRUE(masked && shownInClear) << "the password in dots, and in clear on request";
    EXPECT_EQ(above, w->ClientWidget()->windowHandle()) << "a dialog of the main window";
    EXPECT_EQ(ProxyIp, "10.0.0.8") << "closed without OK: nothing taken over";

    // Return in a field presses OK: a port that is no number keeps the dialog
    // open, the address taken over and the rest not yet. Escape closes it as
    // its close box does.
    bool stayed = false;
    modals.onForm = [&](TForm*) {
        FormPassword->Edit_IPadressProxy->SetText("127.0.0.1");
        FormPassword->Edit_LoginUser->SetText("buyer");
        Press(FormPassword->Edit_LoginUser->Handle(), Qt::Key_Return);
        stayed = FormPassword->Visible() && ProxyIp == "127.0.0.1" && LoginUser == "me";
        FormPassword->Edit_ProxyPort->SetText("8080");
        Press(FormPassword->Edit_LoginUser->Handle(), Qt::Key_Return);
    };
    FormPassword->ShowModal();
    EXPECT_TRUE(stayed);
    EXPECT_EQ(modals.messages, std::vector<std::string>{"'' is not a valid integer value"});
    EXPECT_EQ(ProxyPort, 8080);
    bool closed = false;
    modals.onForm = [&](TForm*) {
        FormPassword->Edit_ProxyPort->SetText("9090");
        Press(FormPassword->Edit_LoginUser->Handle(), Qt::Key_Escape);
        closed = !FormPassword->Visible();
    };
    FormPassword->ShowModal();
    EXPECT_TRUE(closed);
    EXPECT_EQ(ProxyPort, 8080);

    QWidget* at = FormPassword->Edit_LoginUser->Handle();
    std::vector<QWidget*> expected = {FormPassword->Edit_PasswordUser->Handle(),
                                      FormPassword->CheckBox_ShowPassword->Handle(), FormPassword->Button_ok->Handle(),
                                      FormPassword->Edit_IPadressProxy->Handle(), FormPassword->Edit_ProxyPort->Handle()};
    for (QWidget* next : expected) {
        do
            at = at->nextInFocusChain();
        while (!(at->focusPolicy() & Qt::TabFocus));
        EXPECT_EQ(at, next);
    }
}
