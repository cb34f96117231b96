#include "platform/clipboard.h"
#include "platform/qt_bridge.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextDocumentFragment>

namespace {
class ClipboardService : public IFMXClipboardService {
public:
    TValue GetClipboard() override
    {
        // Plain text first; else what a web page or an editor put there as
        // HTML alone, as the text it shows.
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (data && data->hasText())
            return TValue(S(data->text()));
        if (data && data->hasHtml())
            return TValue(S(QTextDocumentFragment::fromHtml(data->html()).toPlainText()));
        return TValue();
    }
    void SetClipboard(const TValue& value) override
    {
        if (value.IsEmpty())
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setText(Q(value.AsString()));
    }
};
}  // namespace

TPlatformServices* TPlatformServices::Current()
{
    static TPlatformServices services;
    return &services;
}

bool TPlatformServices::SupportsPlatformService(IFMXClipboardService*& service)
{
    static ClipboardService clipboard;
    service = QGuiApplication::instance() ? &clipboard : nullptr;
    return service != nullptr;
}
