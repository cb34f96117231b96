#include "platform/clipboard.h"
#include "platform/qt_bridge.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace {
class ClipboardService : public IFMXClipboardService {
public:
    TValue GetClipboard() override
    {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        if (!data || !data->hasText())
            return TValue();
        return TValue(S(data->text()));
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
