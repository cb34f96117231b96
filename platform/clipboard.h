#pragma once
// The clipboard, as a platform service.

#include "platform/rtl.h"

class TValue {
public:
    TValue() = default;
    explicit TValue(String text) : text_(std::move(text)), empty_(false) {}
    String AsString() const { return text_; }
    bool IsEmpty() const { return empty_; }

private:
    String text_;
    bool empty_ = true;
};

class IFMXClipboardService {
public:
    virtual ~IFMXClipboardService() = default;
    virtual TValue GetClipboard() = 0;
    virtual void SetClipboard(const TValue& value) = 0;
};

class TPlatformServices {
public:
    static TPlatformServices* Current();
    bool SupportsPlatformService(IFMXClipboardService*& service);
};
