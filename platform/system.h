#pragma once
// Basic types of the application layer: texts, exceptions and owned components.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The installer's logic holds 8-bit texts; the framework's texts are UTF-8 here,
// so the conversion between the two is the identity.
using AnsiString = std::string;
using String = std::string;

class Exception : public std::exception {
public:
    explicit Exception(String message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    String Message;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class EInOutError : public Exception {
public:
    explicit EInOutError(String message, int errorCode = 0) : Exception(std::move(message)), ErrorCode(errorCode) {}
    int ErrorCode;  // the system's error number, 0 when none
};

class TObject {
public:
    virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

// A component is freed by its owner, newest first, unless freed earlier.
class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }

protected:
    // Frees the owned components now; a derived destructor calls it while
    // its own parts are still alive.
    void DestroyComponents();

private:
    TComponent* owner_;
    std::vector<TComponent*> owned_;
};
