#pragma once
// One screen-cast session through org.freedesktop.portal.ScreenCast:
// CreateSession, SelectSources (one monitor; the cursor mode from whether
// the pointer should be seen; persist_mode 2 with the stored restore token
// where the portal is new enough to offer it), Start, OpenPipeWireRemote,
// and Session.Close when the last user lets go. Each step has a time-out
// and fails with the portal's PortalError.
//
// A stored token the portal no longer honours (Start fails with it) is
// dropped and the session asked for again without one; every Start that
// succeeds stores the token it returned, so the next capture does not ask.

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/common/Expected.h"
#include "core/common/Geometry.h"
#include "platform/portal/CastFrames.h"
#include "platform/portal/PortalRequest.h"

namespace tessarin::portal {

inline constexpr const char* kScreenCastInterface = "org.freedesktop.portal.ScreenCast";

// The restore token, one line in a file of its own.
class CastRestoreTokenFile {
public:
    explicit CastRestoreTokenFile(std::filesystem::path file) : file_(std::move(file)) {}
    // $XDG_DATA_HOME/io.tessarin.Tessarin/screencast-restore-token; none without a data folder.
    static std::optional<CastRestoreTokenFile> inDataHome();

    // The stored token; none when there is none or the file holds no plausible token.
    std::optional<std::string> load() const;
    // Replaces the stored token (written whole, then renamed into place); false when it cannot.
    bool save(const std::string& token) const;
    void forget() const;
    const std::filesystem::path& file() const { return file_; }

private:
    std::filesystem::path file_;
};

// Whether a string can be a restore token: short printable ASCII.
bool isPlausibleRestoreToken(const std::string& token);

// One stream the portal shares, as Start describes it.
struct CastStream {
    uint32_t nodeID = 0;
    std::optional<PixelRect> logicalRect;  // "position" and "size", in the compositor's layout
};

// The streams in Start's results ("streams" a(ua{sv})), in order.
std::vector<CastStream> castStreamsOf(GVariant* startResults);

// What a cast may share (AvailableSourceTypes, SelectSources' "types").
inline constexpr uint32_t kCastMonitorSource = 1;
inline constexpr uint32_t kCastWindowSource = 2;

// The kinds of source the ScreenCast portal shares (a mask of the above);
// none when no ScreenCast portal answers.
std::optional<uint32_t> castSourceTypes(PortalConnection& connection, std::chrono::milliseconds timeout);

struct ScreenCastOptions {
    bool showsCursor = false;
    uint32_t sourceTypes = kCastMonitorSource;
    // Asks the portal to remember the choice (persist_mode 2), where it can.
    bool remembersChoice = true;
    // Each step that does not wait for the person, the session's Close included.
    std::chrono::milliseconds timeout{std::chrono::seconds(30)};
    // Start, where the portal may show its chooser and wait for the person;
    // none: `timeout`.
    std::optional<std::chrono::milliseconds> chooserTimeout;
    // Cancelled from another thread, gives up the request still waiting
    // (above all Start, waiting for the person): cancelled. Not owned.
    GCancellable* abandon = nullptr;
};

class PortalScreenCast {
public:
    // Starts a session sharing one monitor. `tokens` may be none (nothing remembered).
    static Expected<std::shared_ptr<PortalScreenCast>, PortalError> start(std::shared_ptr<PortalConnection> connection,
                                                                         const ScreenCastOptions& options,
                                                                         const std::optional<CastRestoreTokenFile>& tokens);
    ~PortalScreenCast();
    PortalScreenCast(const PortalScreenCast&) = delete;
    PortalScreenCast& operator=(const PortalScreenCast&) = delete;

    const std::vector<CastStream>& streams() const { return streams_; }
    // Whether frames need the pointer drawn from metadata (the portal does not embed it).
    bool drawsCursorFromMetadata() const { return cursor_.drawsFromMetadata; }
    // A descriptor of the PipeWire remote that carries the streams; the caller owns it.
    Expected<int, PortalError> openPipeWireRemote();
    // Ends the session; idempotent (the destructor does it too).
    void close() noexcept;

private:
    PortalScreenCast(std::shared_ptr<PortalConnection> connection, std::string session, std::chrono::milliseconds timeout)
        : connection_(std::move(connection)), session_(std::move(session)), timeout_(timeout) {}
    static Expected<std::shared_ptr<PortalScreenCast>, PortalError> attempt(
        const std::shared_ptr<PortalConnection>& connection, const ScreenCastOptions& options,
        const std::optional<std::string>& restoreToken, uint32_t version, uint32_t cursorModes,
        std::optional<std::string>& newToken);

    std::shared_ptr<PortalConnection> connection_;
    std::string session_;
    std::chrono::milliseconds timeout_;
    CastCursorChoice cursor_;
    std::vector<CastStream> streams_;
    bool closed_ = false;
};

}  // namespace tessarin::portal
