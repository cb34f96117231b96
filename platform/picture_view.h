#pragma once
// Inside the platform only: the widget of a picture control, drawn by hand,
// pressed as a button is, and announcing itself when it is a message.

#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/qt_bridge.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QWidget>

// The picture a bitmap holds, decoded when first needed.
struct TBitmap::Data {
    QPixmap pixmap;
    QString resource;  // decoded when first needed: most pictures of a page wait hidden

    const QPixmap& Pixmap()
    {
        if (!resource.isEmpty()) {
            pixmap.load(resource);
            // Artwork drawn at twice its size stays sharp on high-density screens.
            if (resource.contains("@2x."))
                pixmap.setDevicePixelRatio(2.0);
            resource.clear();
        }
        return pixmap;
    }
};

class TImage::View : public QWidget {
public:
    enum class Role { Picture, Button, DisabledButton, Message };
    explicit View(TImage* owner) : owner_(owner) {}
    Role role = Role::Picture;
    void Press() { owner_->Click(); }

protected:
    // Drawn by hand: a disabled picture keeps its artwork (no greying).
    void paintEvent(QPaintEvent*) override
    {
        const QPixmap& pm = owner_->bitmap_.data_->Pixmap();
        if (pm.isNull())
            return;
        QPainter p(this);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        QSizeF natural = pm.deviceIndependentSize();
        switch (owner_->wrapMode_) {
        case TImageWrapMode::Original:
            p.drawPixmap(QRectF(QPointF(0, 0), natural), pm, QRectF(pm.rect()));
            break;
        case TImageWrapMode::Stretch:
            p.drawPixmap(QRectF(rect()), pm, QRectF(pm.rect()));
            break;
        case TImageWrapMode::Fit: {
            QSizeF s = natural.scaled(QSizeF(size()), Qt::KeepAspectRatio);
            QPointF at((width() - s.width()) / 2, (height() - s.height()) / 2);
            p.drawPixmap(QRectF(at, s), pm, QRectF(pm.rect()));
            break;
        }
        }
        if (hasFocus()) {
            // The keyboard's place: an amber ring inside the button, seen on blue and grey alike.
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(QColor(255, 196, 0), 2));
            p.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 4, 4);
        }
    }
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
            Press();
    }
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    // A key presses the button when it is let go, and only if it went down
    // here: a key that closed a message box, or came while the window
    // waited, is let go over the window and presses nothing.
    static bool IsPressKey(QKeyEvent* e)
    {
        return e->key() == Qt::Key_Space || e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    }
    void keyPressEvent(QKeyEvent* e) override
    {
        if (role != Role::Button || !IsPressKey(e)) {
            QWidget::keyPressEvent(e);
            return;
        }
        e->accept();
        if (!e->isAutoRepeat())
            armedKey_ = e->key();
    }
    void keyReleaseEvent(QKeyEvent* e) override
    {
        if (role != Role::Button || !IsPressKey(e)) {
            QWidget::keyReleaseEvent(e);
            return;
        }
        e->accept();
        if (e->isAutoRepeat() || armedKey_ != e->key())
            return;
        armedKey_ = 0;
        Press();
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        armedKey_ = 0;
        QWidget::focusOutEvent(e);
    }
    // A message announces itself as it appears (what screen readers see).
    void showEvent(QShowEvent* e) override;

private:
    TImage* owner_;
    int armedKey_ = 0;
};
