#pragma once
// The proxy dialog: address, port, login and password of an HTTP proxy.

#include "platform/forms.h"

class TFormPassword : public TForm {
public:
    explicit TFormPassword(TComponent* owner);

    TLabel* Label_IPadressProxy;
    TEdit* Edit_IPadressProxy;
    TLabel* Label_ProxyPort;
    TEdit* Edit_ProxyPort;
    TLabel* Label_LoginUser;
    TEdit* Edit_LoginUser;
    TLabel* Label_PasswordUser;
    TEdit* Edit_PasswordUser;
    TCheckBox* CheckBox_ShowPassword;  // the password in clear, on request
    TLabel* Label_Why;                 // why the dialog is asked
    TButton* Button_ok;

    bool Answered = false;  // OK pressed, and its fields taken over

    void FormShow(TObject* Sender);
    void Button_okClick(TObject* Sender);
    // Why the dialog is asked: "" for the direct connection that failed.
    void SayWhy(const AnsiString& why);
};
