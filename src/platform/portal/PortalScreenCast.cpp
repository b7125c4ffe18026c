#include "platform/portal/PortalScreenCast.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <system_error>

#include "core/common/Log.h"
#include "core/common/XdgBaseFolders.h"

namespace tessarin::portal {

namespace {

namespace fs = std::filesystem;

// Remember the choice until the user revokes it.
constexpr uint32_t kPersistUntilRevoked = 2;
// The interface version that brought cursor modes, and the one that brought restore tokens.
constexpr uint32_t kCursorModeVersion = 2;
constexpr uint32_t kRestoreTokenVersion = 4;

void note(const std::string& line) { logLine(LogLevel::info, LogCategory::capture, "cast.portal " + line); }

// A property's value, wherever GIO's reply wrapped it.
GVariantPtr unboxed(GVariantPtr value) {
    while (value && (g_variant_is_of_type(value.get(), G_VARIANT_TYPE_VARIANT) ||
                     (g_variant_is_of_type(value.get(), G_VARIANT_TYPE_TUPLE) && g_variant_n_children(value.get()) == 1))) {
        value = GVariantPtr(g_variant_is_of_type(value.get(), G_VARIANT_TYPE_VARIANT)
                                ? g_variant_get_variant(value.get())
                                : g_variant_get_child_value(value.get(), 0));
    }
    return value;
}

uint32_t uint32Property(PortalConnection& connection, const char* property, std::chrono::milliseconds timeout) {
    auto value = readProperty(connection, kScreenCastInterface, property, timeout);
    if (!value) return 0;
    GVariantPtr inner = unboxed(std::move(value.value()));
    if (!inner || !g_variant_is_of_type(inner.get(), G_VARIANT_TYPE_UINT32)) return 0;
    return g_variant_get_uint32(inner.get());
}

}  // namespace

std::optional<uint32_t> castSourceTypes(PortalConnection& connection, std::chrono::milliseconds timeout) {
    auto value = readProperty(connection, kScreenCastInterface, "AvailableSourceTypes", timeout);
    if (!value) return std::nullopt;
    GVariantPtr inner = unboxed(std::move(value.value()));
    if (!inner || !g_variant_is_of_type(inner.get(), G_VARIANT_TYPE_UINT32)) return std::nullopt;
    return g_variant_get_uint32(inner.get());
}

namespace {

std::string nextToken(const char* stem) {
    static std::atomic<unsigned> counter{0};
    return std::string(stem) + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

std::optional<std::string> stringResult(GVariant* results, const char* key) {
    const char* text = nullptr;
    if (!results || !g_variant_lookup(results, key, "&s", &text) || !text) return std::nullopt;
    return std::string(text);
}

std::optional<std::string> objectPathResult(GVariant* results, const char* key) {
    if (auto text = stringResult(results, key)) return text;
    const char* path = nullptr;
    if (!results || !g_variant_lookup(results, key, "&o", &path) || !path) return std::nullopt;
    return std::string(path);
}

}  // namespace

std::optional<CastRestoreTokenFile> CastRestoreTokenFile::inDataHome() {
    auto home = dataHome();
    if (!home) return std::nullopt;
    return CastRestoreTokenFile(home.value() / "io.tessarin.Tessarin" / "screencast-restore-token");
}

bool isPlausibleRestoreToken(const std::string& token) {
    if (token.empty() || token.size() > 256) return false;
    for (const char c : token) {
        if (c < 0x21 || c > 0x7e) return false;
    }
    return true;
}

std::optional<std::string> CastRestoreTokenFile::load() const {
    std::ifstream in(file_);
    std::string token;
    if (!in || !std::getline(in, token) || !isPlausibleRestoreToken(token)) return std::nullopt;
    return token;
}

bool CastRestoreTokenFile::save(const std::string& token) const {
    if (!isPlausibleRestoreToken(token)) return false;
    std::error_code error;
    fs::create_directories(file_.parent_path(), error);
    if (error) return false;
    const fs::path partial = file_.string() + ".partial";
    // Only the user may read it: it lets a program share the screen without asking.
    const int fd = ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::string line = token + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        fs::remove(partial, error);
        return false;
    }
    fs::rename(partial, file_, error);
    return !error;
}

void CastRestoreTokenFile::forget() const {
    std::error_code ignored;
    fs::remove(file_, ignored);
}

std::vector<CastStream> castStreamsOf(GVariant* startResults) {
    std::vector<CastStream> streams;
    if (!startResults) return streams;
    GVariantPtr list(g_variant_lookup_value(startResults, "streams", G_VARIANT_TYPE("a(ua{sv})")));
    if (!list) return streams;
    const size_t count = g_variant_n_children(list.get());
    for (size_t i = 0; i < count; ++i) {
        GVariantPtr entry(g_variant_get_child_value(list.get(), i));
        CastStream stream;
        GVariantPtr properties;
        {
            GVariant* props = nullptr;
            g_variant_get(entry.get(), "(u@a{sv})", &stream.nodeID, &props);
            properties.reset(props);
        }
        int32_t x = 0, y = 0, width = 0, height = 0;
        const bool hasPosition = g_variant_lookup(properties.get(), "position", "(ii)", &x, &y);
        if (g_variant_lookup(properties.get(), "size", "(ii)", &width, &height) && width > 0 && height > 0) {
            stream.logicalRect = PixelRect{hasPosition ? x : 0, hasPosition ? y : 0, width, height};
        }
        streams.push_back(stream);
    }
    return streams;
}

Expected<std::shared_ptr<PortalScreenCast>, PortalError> PortalScreenCast::start(
    std::shared_ptr<PortalConnection> connection, const ScreenCastOptions& options,
    const std::optional<CastRestoreTokenFile>& tokens) {
    const uint32_t version = uint32Property(*connection, "version", options.timeout);
    if (version == 0) {
        return unexpected(PortalError{PortalError::Kind::missingPortal,
                                      "no desktop portal offers screen casts (org.freedesktop.portal.ScreenCast)"});
    }
    const uint32_t sources = castSourceTypes(*connection, options.timeout).value_or(0);
    if (sources != 0 && !(sources & options.sourceTypes)) {
        return unexpected(PortalError{PortalError::Kind::missingPortal,
                                      options.sourceTypes == kCastWindowSource
                                          ? "the ScreenCast portal cannot share a single window (org.freedesktop.portal.ScreenCast)"
                                          : "the ScreenCast portal cannot share a whole screen (org.freedesktop.portal.ScreenCast)"});
    }
    const uint32_t cursorModes = version >= kCursorModeVersion ? uint32Property(*connection, "AvailableCursorModes", options.timeout) : 0;
    const bool remembers = version >= kRestoreTokenVersion && tokens && options.remembersChoice;
    std::optional<std::string> stored = remembers ? tokens->load() : std::nullopt;
    std::optional<std::string> newToken;
    auto cast = attempt(connection, options, stored, version, cursorModes, newToken);
    // A refusal with a remembered choice may be the portal failing to restore it.
    if (!cast && stored && cast.error().kind != PortalError::Kind::cancelled &&
        cast.error().kind != PortalError::Kind::missingPortal) {
        // The remembered choice no longer works (the monitor went away, the
        // permission store was cleared): forget it and ask again.
        note("restore_token stale error=" + cast.error().message);
        tokens->forget();
        cast = attempt(connection, options, std::nullopt, version, cursorModes, newToken);
    }
    if (remembers && newToken) {
        if (!tokens->save(*newToken)) note("restore_token not_saved file=" + tokens->file().string());
    }
    return cast;
}

Expected<std::shared_ptr<PortalScreenCast>, PortalError> PortalScreenCast::attempt(
    const std::shared_ptr<PortalConnection>& connection, const ScreenCastOptions& options,
    const std::optional<std::string>& restoreToken, uint32_t version, uint32_t cursorModes,
    std::optional<std::string>& newToken) {
    GVariantBuilder create;
    g_variant_builder_init(&create, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&create, "{sv}", "session_handle_token", g_variant_new_string(nextToken("tessarin_cast").c_str()));
    auto created = callRequest(*connection, kScreenCastInterface, "CreateSession", g_variant_new("(a{sv})", &create),
                               options.timeout, options.abandon);
    if (!created) return unexpected(created.error());
    const auto session = objectPathResult(created.value().get(), "session_handle");
    if (!session || !g_variant_is_object_path(session->c_str())) {
        return unexpected(PortalError{PortalError::Kind::failed, "the ScreenCast portal gave no session"});
    }
    // From here on the session is closed again on every way out.
    std::shared_ptr<PortalScreenCast> cast(new PortalScreenCast(connection, *session, options.timeout));
    cast->cursor_ = chooseCastCursorMode(cursorModes, options.showsCursor);

    GVariantBuilder select;
    g_variant_builder_init(&select, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&select, "{sv}", "types", g_variant_new_uint32(options.sourceTypes));
    g_variant_builder_add(&select, "{sv}", "multiple", g_variant_new_boolean(FALSE));
    if (cast->cursor_.mode != 0) g_variant_builder_add(&select, "{sv}", "cursor_mode", g_variant_new_uint32(cast->cursor_.mode));
    if (version >= kRestoreTokenVersion && options.remembersChoice) {
        g_variant_builder_add(&select, "{sv}", "persist_mode", g_variant_new_uint32(kPersistUntilRevoked));
        if (restoreToken) g_variant_builder_add(&select, "{sv}", "restore_token", g_variant_new_string(restoreToken->c_str()));
    }
    auto selected = callRequest(*connection, kScreenCastInterface, "SelectSources",
                                g_variant_new("(oa{sv})", session->c_str(), &select), options.timeout, options.abandon);
    if (!selected) return unexpected(selected.error());

    GVariantBuilder startOptions;
    g_variant_builder_init(&startOptions, G_VARIANT_TYPE_VARDICT);
    auto started = callRequest(*connection, kScreenCastInterface, "Start",
                               g_variant_new("(osa{sv})", session->c_str(), "", &startOptions),
                               options.chooserTimeout.value_or(options.timeout), options.abandon);
    if (!started) return unexpected(started.error());
    cast->streams_ = castStreamsOf(started.value().get());
    if (cast->streams_.empty()) {
        return unexpected(PortalError{PortalError::Kind::failed, "the ScreenCast portal started no stream"});
    }
    newToken = stringResult(started.value().get(), "restore_token");
    note("started session=" + *session + " streams=" + std::to_string(cast->streams_.size()) +
         " cursor_mode=" + std::to_string(cast->cursor_.mode) + " restored=" + (restoreToken ? "1" : "0"));
    return cast;
}

PortalScreenCast::~PortalScreenCast() { close(); }

Expected<int, PortalError> PortalScreenCast::openPipeWireRemote() {
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    GUnixFDList* fds = nullptr;
    auto reply = callMethod(*connection_, kScreenCastInterface, "OpenPipeWireRemote",
                            g_variant_new("(oa{sv})", session_.c_str(), &options), timeout_, &fds);
    GObjectPtr<GUnixFDList> owned(fds);
    if (!reply) return unexpected(reply.error());
    int32_t index = -1;
    if (g_variant_is_of_type(reply.value().get(), G_VARIANT_TYPE("(h)"))) g_variant_get(reply.value().get(), "(h)", &index);
    GError* error = nullptr;
    const int fd = owned && index >= 0 ? g_unix_fd_list_get(owned.get(), index, &error) : -1;
    if (error) g_error_free(error);
    if (fd < 0) return unexpected(PortalError{PortalError::Kind::failed, "the ScreenCast portal gave no PipeWire remote"});
    return fd;
}

void PortalScreenCast::close() noexcept {
    if (closed_) return;
    closed_ = true;
    auto closedSession = callObjectMethod(*connection_, session_, "org.freedesktop.portal.Session", "Close", nullptr, timeout_);
    if (!closedSession) note("close session=" + session_ + " error=" + closedSession.error().message);
}

}  // namespace tessarin::portal
