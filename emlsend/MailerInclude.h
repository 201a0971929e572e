#pragma once
// The mailer's and the progress listener's reference-counted interfaces.
//
// Every interface starts with the three base operations: QueryInterface,
// AddRef and Release. An object lives while a reference to it is held and
// deletes itself when the last one is released; TInterfacePtr holds one
// reference and is the only way the program keeps an interface. Virtual
// operations are declared in slot order (slot numbers count from 0 and the
// base operations take slots 0 to 2).
//
// Strings cross IMailer as single-byte text (windows-1250 bytes) of any
// length; nothing is cut.

#include <atomic>
#include <compare>
#include <cstdint>
#include <string_view>
#include <utility>

namespace emlsend {

// A 128-bit interface identifier, written {D1-D2-D3-D4[0..1]-D4[2..7]}.
struct TGuid {
    std::uint32_t D1 = 0;
    std::uint16_t D2 = 0;
    std::uint16_t D3 = 0;
    std::uint8_t D4[8] = {};
    friend bool operator==(const TGuid&, const TGuid&) = default;
};

// Results of QueryInterface.
inline constexpr std::int32_t S_OK = 0;
inline constexpr std::int32_t E_NOINTERFACE = static_cast<std::int32_t>(0x80004002u);

// The base of every interface.
class IInterface {
public:
    // {00000000-0000-0000-C000-000000000046}
    static constexpr TGuid kIid{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

    // Slot 0. When the object implements aIid: *aObject receives the
    // interface with one added reference and the result is S_OK; otherwise
    // *aObject becomes null and the result is E_NOINTERFACE.
    virtual std::int32_t QueryInterface(const TGuid& aIid, void** aObject) noexcept = 0;
    // Slot 1 and 2. Both answer the new reference count; Release deletes
    // the object when the count reaches 0.
    virtual std::uint32_t AddRef() noexcept = 0;
    virtual std::uint32_t Release() noexcept = 0;

protected:
    ~IInterface() = default;
};

// Receives the progress of a send.
class IProgressListener : public IInterface {
public:
    // {378A1828-2B3D-4993-AFFF-0E0A391B0181}
    static constexpr TGuid kIid{0x378A1828, 0x2B3D, 0x4993, {0xAF, 0xFF, 0x0E, 0x0A, 0x39, 0x1B, 0x01, 0x81}};

    // Slot 3: a percentage, 0 to 100 (larger values are possible and mean
    // "done").
    virtual void Progress(std::uint8_t aPercent) = 0;

protected:
    ~IProgressListener() = default;
};

// Address kinds of IMailer::AddAddress.
enum TAddressKind : std::int16_t {
    akTo = 1,
    akCc = 2,
    akBcc = 3,
    akFrom = 4,
    akReplyTo = 5,
    akReceipt = 6,
};

// Results of IMailer::Send.
enum TSendResult : std::int16_t {
    srSent = 0,
    srConnectFailed = 1,
    srSendFailed = 2,
};

// Composes one message and sends it over SMTP or hands it to the user's mail
// program. Obtained from CreateMailer (Umailer.h).
class IMailer : public IInterface {
public:
    // {51268003-A4FA-4042-B0BC-C50B43A4EC36}
    static constexpr TGuid kIid{0x51268003, 0xA4FA, 0x4042, {0xB0, 0xBC, 0xC5, 0x0B, 0x43, 0xA4, 0xEC, 0x36}};

    virtual void AddListener(IProgressListener& aListener) = 0;                 // 3
    virtual void RemoveListener(IProgressListener& aListener) = 0;              // 4
    virtual void SetCharSet(std::string_view aCharSet) = 0;                     // 5
    virtual void SetSubject(std::string_view aSubject) = 0;                     // 6
    virtual void AddBodyLine(std::string_view aLine) = 0;                       // 7
    virtual void AddAddress(std::string_view aAddress, std::int16_t aKind) = 0; // 8
    virtual void AddAttachment(std::string_view aPath) = 0;                     // 9
    virtual void SetHtml(bool aHtml) = 0;                                       // 10
    virtual void SetPriority(std::int16_t aLevel) = 0;                          // 11
    virtual void SetHost(std::string_view aHost) = 0;                           // 12
    virtual void SetUserName(std::string_view aName) = 0;                       // 13
    virtual void SetPassword(std::string_view aPassword) = 0;                   // 14
    virtual void SetPort(std::int32_t aPort) = 0;                               // 15
    virtual void SetTimeOut(std::int32_t aMilliseconds) = 0;                    // 16
    virtual void SaveToFile(std::string_view aPath, bool aSent) = 0;            // 17
    virtual void ShowInMailClient() = 0;                                        // 18
    virtual std::int16_t Send() = 0;                                            // 19
    virtual void Disconnect() = 0;                                              // 20
    virtual void Clear() = 0;                                                   // 21
    virtual const char* GetErrorText() = 0;                                     // 22
    // Later additions, after the original slots so that those keep their
    // places: the connection's protection ("None", "StartTLS" or "TLS", any
    // case; another text fails the next Send), a PEM file of certificates
    // trusted besides the system's, and a command printing an OAuth 2 access
    // token for the sign-in (empty: sign in with the password).
    virtual void SetSecurity(std::string_view aSecurity) = 0;         // 23
    virtual void SetTlsTrustFile(std::string_view aPath) = 0;         // 24
    virtual void SetOAuthTokenCommand(std::string_view aCommand) = 0; // 25

protected:
    ~IMailer() = default;
};

// Holds one reference to an interface (or to an object that implements
// one). Copying adds a reference, destruction and Reset release it.
template <typename T>
class TInterfacePtr {
public:
    TInterfacePtr() = default;
    // Takes a new reference to aObject (which may be null).
    explicit TInterfacePtr(T* aObject) noexcept : FObject(aObject)
    {
        if (FObject != nullptr) {
            FObject->AddRef();
        }
    }
    TInterfacePtr(const TInterfacePtr& aOther) noexcept : TInterfacePtr(aOther.FObject) {}
    TInterfacePtr(TInterfacePtr&& aOther) noexcept : FObject(std::exchange(aOther.FObject, nullptr)) {}
    template <typename U>
    TInterfacePtr(const TInterfacePtr<U>& aOther) noexcept : TInterfacePtr(aOther.Get())
    {
    }
    ~TInterfacePtr() { Reset(); }

    TInterfacePtr& operator=(TInterfacePtr aOther) noexcept
    {
        std::swap(FObject, aOther.FObject);
        return *this;
    }

    void Reset() noexcept
    {
        if (T* object = std::exchange(FObject, nullptr)) {
            object->Release();
        }
    }

    T* Get() const noexcept { return FObject; }
    T* operator->() const noexcept { return FObject; }
    T& operator*() const noexcept { return *FObject; }
    explicit operator bool() const noexcept { return FObject != nullptr; }

    // Adopts a reference already counted for the caller (such as one that
    // QueryInterface returned).
    static TInterfacePtr Adopt(T* aObject) noexcept
    {
        TInterfacePtr result;
        result.FObject = aObject;
        return result;
    }

private:
    T* FObject = nullptr;
};

// The interface I of aObject through QueryInterface; null when aObject is
// null or does not implement I.
template <typename I, typename T>
TInterfacePtr<I> Supports(const TInterfacePtr<T>& aObject)
{
    void* found = nullptr;
    if (!aObject || aObject->QueryInterface(I::kIid, &found) != S_OK) {
        return {};
    }
    return TInterfacePtr<I>::Adopt(static_cast<I*>(found));
}

// The reference-counted base object implementing one interface I: the count
// starts at 0, so the first TInterfacePtr takes the first reference.
// QueryInterface answers I and IInterface.
template <typename I>
class TInterfacedObject : public I {
public:
    TInterfacedObject() = default;
    TInterfacedObject(const TInterfacedObject&) = delete;
    TInterfacedObject& operator=(const TInterfacedObject&) = delete;

    std::int32_t QueryInterface(const TGuid& aIid, void** aObject) noexcept override
    {
        if (aIid == I::kIid || aIid == IInterface::kIid) {
            *aObject = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *aObject = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() noexcept override { return ++FRefCount; }
    std::uint32_t Release() noexcept override
    {
        const std::uint32_t count = --FRefCount;
        if (count == 0) {
            delete this;
        }
        return count;
    }
    std::uint32_t RefCount() const noexcept { return FRefCount; }

protected:
    virtual ~TInterfacedObject() = default;

private:
    std::atomic<std::uint32_t> FRefCount = 0;
};

// Creates a T and returns the first reference to it.
template <typename T, typename... Args>
TInterfacePtr<T> MakeInterfaced(Args&&... aArgs)
{
    return TInterfacePtr<T>(new T(std::forward<Args>(aArgs)...));
}

} // namespace emlsend
