#pragma once
// Top-level windows. Including this gives the application object, the
// dialogs and the controls a form is made of.

#include "platform/application.h"
#include "platform/controls.h"
#include "platform/dialogs.h"

#include <vector>

enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// A top-level window with a fixed client area and only the close box.
class TForm : public TComponent, public TContainer {
public:
    explicit TForm(TComponent* owner);
    ~TForm() override;

    String Caption() const;
    void SetCaption(const String& caption);
    void SetIcon(const String& resourceName);  // a picture among the resources
    void SetClientSize(int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;
    bool Visible() const;
    bool Active() const;  // the window the user works in
    void Show();
    void Hide();
    void Close();  // asks OnClose; the main form's closing ends Run
    void ShowModal();  // returns when the form is closed
    // Orders keyboard focus by the controls' TabOrder.
    void ApplyTabOrder();
    // Places the controls in rows, top to bottom, each at least as wide as it
    // is now, and sizes the window to hold them whatever the desktop's font:
    // no text is cut.
    void LayOutInRows(const std::vector<std::vector<TControl*>>& rows);
    QWidget* ClientWidget() const override;

    TNotifyEvent OnShow;
    std::function<void(TObject* Sender, TCloseAction& Action)> OnClose;

private:
    class Window;
    Window* window_;
};
