// "The network needs a proxy", made real on loopback: the API answers only
// requests from 127.0.0.3, where tinyproxy's outgoing side is bound.

#include "net/http_requests.h"
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

    // A proxy that checks a file before it hands on a byte is waited for;
    // the stall rule counts from the first byte.
    server->AddFile("checked.bin", RandomBytes(5000));
    server->AddFault("GET /files/checked.bin", Fault{.stallMs = 1500});
    w->IdHTTP1->ReadTimeoutMs = 500;
    TMemoryStream body;
    EXPECT_EQ(idHTTP_Get_MemoryStream(w->IdHTTP1, server->FileUrl("checked.bin"), &body), 0);
}

// What a proxy in the way can answer, and what the buyer and the log are
// told: the proxy's failure as the proxy's, with its own status line, and the
// dialog again, saying why, when it refused the password.
TEST_F(ProxyTest, TheProxysFailuresAreSaidAsTheProxys)
{
    const std::string ntlmOnly = "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: NTLM\r\n"
                                 "Proxy-Authenticate: Negotiate\r\nContent-Length: 0\r\n\r\n";
    RawTlsServer ntlm({}, ntlmOnly, false, RawTlsServer::Plain),
        forbidden({}, "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", false, RawTlsServer::Plain);
    struct Case {
        const char* what;
        int port;
        std::string password;
        int code;
        std::string shown;  // in the message box, after "Proxy Error: "
        std::vector<std::string> why;  // the dialog's explanation, each time it opens
    };
    const std::string first = "The download server could not be reached directly. If this network needs a proxy, "
                              "give its address and port.";
    const std::vector<Case> cases = {
        {"a wrong password", proxy.port(), "wrong", kProxyRefusedPassword, "HTTP/1.0 401 Unauthorized",
         {first, "The proxy refused the user name or password. Check them, or ask the network's administrator."}},
        {"only NTLM or Negotiate", ntlm.port(), "s3cret", kProxyOtherAuthentication,
         "HTTP/1.1 407 Proxy Authentication Required\nThe proxy asks for: NTLM, Negotiate", {first}},
        {"the tunnel refused", forbidden.port(), "s3cret", kProxyRefused - 403, "HTTP/1.1 403 Forbidden", {first}},
        {"nothing listening on its port", FreeLoopbackPort(), "s3cret", kProxyUnreachable,
         "Socket Error # 111\nThe proxy: Connection refused", {first}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> why;
        AnswerDialog(std::to_string(c.port), c.password);
        auto answer = modals.onForm;
        modals.onForm = [&](TForm* f) { why.push_back(FormPassword->Label_Why->Text()), answer(f); };
        modals.messages.clear();
        w->IdHTTP1->ProxyParams = {};
        w->FrameCodeCopyFile1->Edit_CodeCopyFile->SetText("AB12");
        EXPECT_EQ(w->workCodeCopyFile(), c.code);
        EXPECT_EQ(why, c.why);
        const std::string status = c.code < kProxyRefused - 100 ? "\n" + c.shown.substr(0, c.shown.find('\n')) + "\n" : "";
        EXPECT_EQ(log(), LogEntry("AB12", "Proxy authorization " + status + " Code error=" + std::to_string(c.code)) +
                             LogEntry("AB12", "preparationDownload  Code error=" + std::to_string(c.code)));
        ASSERT_FALSE(modals.messages.empty());
        EXPECT_EQ(modals.messages.back(), "Get_msg Error: " + server.base() + "\nProxy Error: " + c.shown);
    }
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
