#include "platform/forms.h"
#include "platform/dialogs.h"
#include "platform/qt_bridge.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QIcon>
#include <QKeyEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <vector>

// ---- forms -----------------------------------------------------------------

class TForm::Window : public QWidget {
public:
    explicit Window(TForm* owner)
        : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                               Qt::WindowCloseButtonHint),
          owner_(owner)
    {
    }
    QEventLoop* modalLoop = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override
    {
        TCloseAction action = TCloseAction::caHide;
        if (owner_->OnClose)
            Guarded([&] { owner_->OnClose(owner_, action); });
        if (action == TCloseAction::caNone) {
            e->ignore();
            return;
        }
        e->accept();
        if (Application && Application->IsMainWindow(this))
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    void showEvent(QShowEvent* e) override
    {
        if (!e->spontaneous() && owner_->OnShow)
            Guarded([&] { owner_->OnShow(owner_); });
    }
    void hideEvent(QHideEvent* e) override
    {
        if (!e->spontaneous() && modalLoop)
            modalLoop->quit();
    }
    // A dialog takes Escape as its close box and Return as its default button.
    void keyPressEvent(QKeyEvent* e) override
    {
        if (modalLoop && e->key() == Qt::Key_Escape) {
            close();
            return;
        }
        if (modalLoop && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
            for (QPushButton* b : findChildren<QPushButton*>())
                if (b->isDefault() && b->isVisible() && b->isEnabled()) {
                    b->click();
                    return;
                }
        }
        QWidget::keyPressEvent(e);
    }

private:
    TForm* owner_;
};

TForm::TForm(TComponent* owner) : TComponent(owner), window_(new Window(this))
{
    if (Application)
        Application->RegisterWindow(window_);
}

TForm::~TForm()
{
    DestroyComponents();
    delete window_;
}

String TForm::Caption() const { return S(window_->windowTitle()); }
void TForm::SetCaption(const String& caption) { window_->setWindowTitle(Q(caption)); }
void TForm::SetIcon(const String& resourceName)
{
    // Decoded once the window is up: the window manager can wait for it, the user cannot.
    QTimer::singleShot(0, window_, [window = window_, name = Q(resourceName)] { window->setWindowIcon(QIcon(name)); });
}
void TForm::SetClientSize(int width, int height) { window_->setFixedSize(width, height); }
int TForm::ClientWidth() const { return window_->width(); }
int TForm::ClientHeight() const { return window_->height(); }
bool TForm::Visible() const { return window_->isVisible(); }
bool TForm::Active() const { return window_->isActiveWindow(); }
void TForm::Show() { window_->show(); }
void TForm::Hide() { window_->hide(); }
void TForm::Close() { window_->close(); }
QWidget* TForm::ClientWidget() const { return window_; }

void TForm::ShowModal()
{
    QEventLoop loop;
    QEventLoop* outer = window_->modalLoop;
    window_->modalLoop = &loop;
    window_->setWindowModality(Qt::ApplicationModal);
    // A dialog belongs to the window it opens over: kept above it, centred on it.
    QWidget* owner = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!owner && w != window_ && w->isVisible() && dynamic_cast<Window*>(w))
            owner = w;
    // Laid out anew: the desktop's font may have changed since it was made.
    if (window_->layout()) {
        window_->layout()->invalidate();
        window_->layout()->activate();
    }
    if (owner && owner != window_) {
        window_->winId();
        window_->windowHandle()->setTransientParent(owner->windowHandle());
        window_->move(owner->geometry().center() - QPoint(window_->width() / 2, window_->height() / 2));
    }
    window_->show();
    if (ModalHook()) {
        QTimer::singleShot(0, window_, [this] {
            TModalRequest request{TModalKind::Form, Caption(), this, false, {}};
            Guarded([&] { ModalHook()(request); });
            if (Visible())
                Close();
        });
    }
    if (window_->isVisible())
        loop.exec();
    window_->modalLoop = outer;
    window_->setWindowModality(Qt::NonModal);
}

void TForm::LayOutInRows(const std::vector<std::vector<TControl*>>& rows)
{
    auto* column = new QVBoxLayout(window_);
    column->setSizeConstraint(QLayout::SetFixedSize);
    for (const auto& row : rows) {
        auto* line = new QHBoxLayout;
        // A button alone in its row keeps its own width, centred.
        const bool button = row.size() == 1 && qobject_cast<QPushButton*>(row[0]->Handle());
        if (button)
            line->addStretch();
        for (TControl* control : row) {
            control->Handle()->setMinimumWidth(int(control->Width()));
            line->addWidget(control->Handle());
        }
        if (button)
            line->addStretch();
        column->addLayout(line);
    }
}

void TForm::ApplyTabOrder()
{
    std::vector<std::pair<int, QWidget*>> ordered;
    for (QWidget* w : window_->findChildren<QWidget*>()) {
        QVariant order = w->property("fmxTabOrder");
        if (order.isValid())
            ordered.emplace_back(order.toInt(), w);
    }
    std::stable_sort(ordered.begin(), ordered.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < ordered.size(); ++i)
        QWidget::setTabOrder(ordered[i - 1].second, ordered[i].second);
}

