#include "ui/form_password.h"

#include "app/globals.h"

namespace {
TLabel* NewLabel(TForm* owner, const char* text, float x, float y)
{
    auto* label = new TLabel(owner);
    label->SetBounds(x, y, 136, 17);
    label->SetText(text);
    return label;
}

TEdit* NewEdit(TForm* owner, const char* name, float x, float y, int tabOrder)
{
    auto* edit = new TEdit(owner);
    edit->SetBounds(x, y, 261, 22);
    edit->SetTabOrder(tabOrder);
    edit->SetAccessibleName(name);
    return edit;
}
}  // namespace

TFormPassword::TFormPassword(TComponent* owner) : TForm(owner)
{
    SetCaption("Proxy Authentication");
    Label_IPadressProxy = NewLabel(this, "IP adress ProxyServer", 10, 15);
    Edit_IPadressProxy = NewEdit(this, "IP adress ProxyServer", 10, 35, 6);
    Label_ProxyPort = NewLabel(this, "ProxyPort", 10, 60);
    Edit_ProxyPort = NewEdit(this, "ProxyPort", 10, 80, 8);
    Label_LoginUser = NewLabel(this, "Login", 10, 110);
    Edit_LoginUser = NewEdit(this, "Login", 10, 130, 1);
    Label_PasswordUser = NewLabel(this, "Password", 10, 160);
    Edit_PasswordUser = NewEdit(this, "Password", 10, 180, 3);
    Edit_PasswordUser->SetMasked(true);
    CheckBox_ShowPassword = new TCheckBox(this);
    CheckBox_ShowPassword->SetBounds(150, 160, 127, 17);
    CheckBox_ShowPassword->SetText("Show password");
    CheckBox_ShowPassword->SetTabOrder(3);
    CheckBox_ShowPassword->OnChange = [this](TObject*) {
        Edit_PasswordUser->SetMasked(!CheckBox_ShowPassword->IsChecked());
    };
    Label_Why = new TLabel(this);
    Label_Why->SetBounds(10, 250, 267, 50);
    Label_Why->SetWordWrap(true);
    SayWhy("");
    Button_ok = new TButton(this);
    Button_ok->SetBounds(104, 220, 80, 22);
    Button_ok->SetText("OK");
    Button_ok->SetTabOrder(4);
    Button_ok->SetDefault(true);
    Button_ok->OnClick = [this](TObject* s) { Button_okClick(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    // In the desktop's own font, whatever its size: the dialog grows to hold
    // every word.
    LayOutInRows({{Label_IPadressProxy}, {Edit_IPadressProxy}, {Label_ProxyPort}, {Edit_ProxyPort}, {Label_LoginUser},
                  {Edit_LoginUser}, {Label_PasswordUser, CheckBox_ShowPassword}, {Edit_PasswordUser}, {Button_ok},
                  {Label_Why}});
    ApplyTabOrder();
}

void TFormPassword::FormShow(TObject*)
{
    Edit_IPadressProxy->SetText(ProxyIp);
    Edit_ProxyPort->SetText(ProxyPort >= 1 ? IntToStr(ProxyPort) : "");
    Edit_LoginUser->SetText(LoginUser);
    Edit_PasswordUser->SetText(PasswordUser);
    CheckBox_ShowPassword->SetIsChecked(false);
}

// A port that is no number raises the conversion error, which is shown; the
// dialog then stays open with the address already taken over.
void TFormPassword::Button_okClick(TObject*)
{
    ProxyIp = Edit_IPadressProxy->Text();
    ProxyPort = StrToInt(Edit_ProxyPort->Text());
    LoginUser = Edit_LoginUser->Text();
    PasswordUser = Edit_PasswordUser->Text();
    Answered = true;
    Close();
}

void TFormPassword::SayWhy(const AnsiString& why)
{
    Label_Why->SetText(!why.empty() ? why
                                    : "The download server could not be reached directly. If this network needs a "
                                      "proxy, give its address and port.");
}
