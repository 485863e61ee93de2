// Principles of operation: libmicrohttpd runs one thread per connection, so a stream's reader
// may wait for the next state in its own thread. The UI thread only appends the new state to
// each browser's short queue under one mutex. Only the latest state matters, so a full queue
// loses its oldest; a browser that has taken nothing for a while is dropped there and then
// there and then, so no socket ever holds up a cycle. Everything not under the token is 404.
#include "platform/web_readout.h"

#include "platform/diagnostics.h"

#include <microhttpd.h>
#include <qrencode.h>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/random.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>

namespace {

using Message = std::shared_ptr<const std::string>;

// A phone that has gone quiet shows its stream as alive until this comment fails to go out.
constexpr auto kKeepAlive = std::chrono::seconds(2);
constexpr unsigned kConnectionTimeoutS = 10;
constexpr std::size_t kConnectionMemory = 16 * 1024; // the request line and headers must fit

struct Client {
    std::deque<Message> queue;
    bool dropped = false;
    std::chrono::steady_clock::time_point lastTaken = std::chrono::steady_clock::now();
    // The reader thread's own: the event being sent, and how much of it has gone.
    std::string sending;
    std::size_t sent = 0;
};

// 128 bits from the system's random source, in URL-safe base64 without padding: 22 characters.
std::string RandomToken() {
    std::array<unsigned char, 16> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n < 0 && errno != EINTR)
            return {};
        got += n > 0 ? std::size_t(n) : 0;
    }
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string token;
    unsigned bits = 0, value = 0;
    for (unsigned char b : bytes) {
        value = (value << 8) | b;
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            token += kAlphabet[(value >> bits) & 63];
        }
    }
    if (bits > 0)
        token += kAlphabet[(value << (6 - bits)) & 63];
    return token;
}

// The kernel would buffer megabytes for a phone that has stopped reading, and its stream would
// look alive for minutes: a small send buffer lets the stall show within a few states.
void LimitSendBuffer(void*, MHD_Connection* connection, void**,
                     MHD_ConnectionNotificationCode code) {
    if (code != MHD_CONNECTION_NOTIFY_STARTED)
        return;
    const MHD_ConnectionInfo* info =
        MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    const int size = 32 * 1024;
    if (info && setsockopt(info->connect_fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0)
        DiagnoseFormat("Quillmere: web readout: SO_SNDBUF: %s", std::strerror(errno));
}

void LogFromLibrary(void*, const char* format, va_list args) {
    std::array<char, 512> line{};
    std::vsnprintf(line.data(), line.size(), format, args);
    std::string text = line.data();
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    Diagnose("Quillmere: web readout: " + text);
}

struct ResponseDeleter {
    void operator()(MHD_Response* r) const { MHD_destroy_response(r); }
};
using Response = std::unique_ptr<MHD_Response, ResponseDeleter>;

// Nothing a browser keeps, nothing it tells another site about the token in the address.
Response Fixed(const std::string& body, const char* type) {
    Response r(MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                               MHD_RESPMEM_MUST_COPY));
    if (r) {
        MHD_add_response_header(r.get(), "Content-Type", type);
        MHD_add_response_header(r.get(), "Cache-Control", "no-store");
        MHD_add_response_header(r.get(), "Referrer-Policy", "no-referrer");
        MHD_add_response_header(r.get(), "X-Content-Type-Options", "nosniff");
    }
    return r;
}

class Server final : public IWebReadout {
public:
    Server(WebReadoutOptions options, std::string token)
        : m_options(std::move(options)), m_path("/" + token + "/"), m_events(m_path + "events"),
          m_page(Fixed(m_options.page, "text/html; charset=utf-8")),
          m_notFound(Fixed("", "text/plain")), m_busy(Fixed("", "text/plain")) {}

    ~Server() override {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_daemon)
            MHD_stop_daemon(m_daemon); // closes the port and joins every connection's thread
    }

    bool Listen(std::string& why) {
        const unsigned limit = unsigned(m_options.maxClients) + 4; // page loads, a refusal
        for (unsigned family : {unsigned(MHD_USE_DUAL_STACK), 0u}) {
            m_daemon = MHD_start_daemon(
                MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                    MHD_USE_ERROR_LOG | family,
                0, nullptr, nullptr, &Server::Handle, this, MHD_OPTION_EXTERNAL_LOGGER,
                &LogFromLibrary, nullptr, MHD_OPTION_NOTIFY_CONNECTION, &LimitSendBuffer, nullptr,
                MHD_OPTION_CONNECTION_LIMIT, limit, MHD_OPTION_CONNECTION_TIMEOUT,
                kConnectionTimeoutS, MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory,
                MHD_OPTION_END);
            if (m_daemon)
                break;
            // Without IPv6 in the kernel the dual stack cannot be had; IPv4 alone then.
        }
        if (!m_daemon) {
            why = std::strerror(errno);
            return false;
        }
        const MHD_DaemonInfo* info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
        m_port = info ? info->port : 0;
        return m_port != 0;
    }

    int Port() const override { return m_port; }
    const std::string& Path() const override { return m_path; }

    void Publish(const std::string& state) override {
        auto message = std::make_shared<const std::string>(state);
        const auto now = std::chrono::steady_clock::now();
        {
            std::lock_guard lock(m_mutex);
            m_latest = message;
            for (Client& c : m_clients) {
                if (c.dropped)
                    continue;
                // A phone on a busy network may fall behind for a moment and catch up.
                if (c.queue.size() >= m_options.queueLength) {
                    c.queue.pop_front();
                    if (now - c.lastTaken > m_options.stalledAfter)
                        c.dropped = true;
                }
                c.queue.push_back(message);
            }
        }
        m_wake.notify_all();
    }

    int Clients() const override {
        std::lock_guard lock(m_mutex);
        return int(m_clients.size());
    }

private:
    struct Stream {
        Server* server;
        std::list<Client>::iterator client;
    };

    static MHD_Result Handle(void* cls, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, size_t* uploadSize,
                             void**) {
        auto& self = *static_cast<Server*>(cls);
        *uploadSize = 0; // a body is read and forgotten
        if (std::strcmp(method, "GET") != 0)
            return MHD_queue_response(connection, MHD_HTTP_NOT_FOUND, self.m_notFound.get());
        if (url == self.m_path)
            return MHD_queue_response(connection, MHD_HTTP_OK, self.m_page.get());
        if (url == self.m_events)
            return self.OpenStream(connection);
        return MHD_queue_response(connection, MHD_HTTP_NOT_FOUND, self.m_notFound.get());
    }

    MHD_Result OpenStream(MHD_Connection* connection) {
        std::list<Client>::iterator client;
        int count = 0;
        {
            std::lock_guard lock(m_mutex);
            if (m_clients.size() >= m_options.maxClients || m_stopping)
                return MHD_queue_response(connection, MHD_HTTP_SERVICE_UNAVAILABLE, m_busy.get());
            client = m_clients.emplace(m_clients.end());
            // A browser comes back a second after a drop, not after its default three.
            client->sending = "retry: 1000\n\n";
            if (m_latest)
                client->queue.push_back(m_latest);
            count = int(m_clients.size());
        }
        // Handed to the library, which gives it back to Close when the stream ends.
        auto stream = std::make_unique<Stream>(Stream{this, client});
        Response r(MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &Server::Read,
                                                     stream.get(), &Server::Close));
        if (!r) {
            Close(stream.release());
            return MHD_NO;
        }
        stream.release();
        MHD_add_response_header(r.get(), "Content-Type", "text/event-stream");
        MHD_add_response_header(r.get(), "Cache-Control", "no-store");
        if (m_options.clientsChanged)
            m_options.clientsChanged(count);
        return MHD_queue_response(connection, MHD_HTTP_OK, r.get());
    }

    static ssize_t Read(void* cls, uint64_t, char* buffer, size_t max) {
        auto& stream = *static_cast<Stream*>(cls);
        Server& self = *stream.server;
        Client& c = *stream.client;
        if (c.sent == c.sending.size()) {
            std::unique_lock lock(self.m_mutex);
            self.m_wake.wait_for(lock, kKeepAlive,
                                 [&] { return self.m_stopping || c.dropped || !c.queue.empty(); });
            // Closing ends every stream properly; a dropped one is cut off.
            if (self.m_stopping)
                return MHD_CONTENT_READER_END_OF_STREAM;
            if (c.dropped)
                return MHD_CONTENT_READER_END_WITH_ERROR;
            c.lastTaken = std::chrono::steady_clock::now();
            if (c.queue.empty()) {
                c.sending = ":\n\n";
            } else {
                c.sending = "data: " + *c.queue.front() + "\n\n";
                c.queue.pop_front();
            }
            c.sent = 0;
        }
        const std::size_t n = std::min(max, c.sending.size() - c.sent);
        std::memcpy(buffer, c.sending.data() + c.sent, n);
        c.sent += n;
        return ssize_t(n);
    }

    static void Close(void* cls) {
        std::unique_ptr<Stream> stream(static_cast<Stream*>(cls));
        Server& self = *stream->server;
        int count = 0;
        {
            std::lock_guard lock(self.m_mutex);
            self.m_clients.erase(stream->client);
            count = int(self.m_clients.size());
        }
        if (self.m_options.clientsChanged)
            self.m_options.clientsChanged(count);
    }

    WebReadoutOptions m_options;
    const std::string m_path;
    const std::string m_events;
    Response m_page, m_notFound, m_busy;
    MHD_Daemon* m_daemon = nullptr;
    int m_port = 0;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::list<Client> m_clients;
    Message m_latest;
    bool m_stopping = false;
};

class Service final : public IWebReadoutService {
public:
    std::unique_ptr<IWebReadout> Start(WebReadoutOptions options, std::string& why) override {
        std::string token = RandomToken();
        if (token.empty()) {
            why = std::strerror(errno);
            return nullptr;
        }
        auto server = std::make_unique<Server>(std::move(options), std::move(token));
        if (!server->Listen(why))
            return nullptr;
        return server;
    }

    std::vector<std::string> Addresses() override {
        std::vector<std::string> found;
        ifaddrs* list = nullptr;
        if (getifaddrs(&list) == 0) {
            for (const ifaddrs* a = list; a; a = a->ifa_next) {
                if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET ||
                    (a->ifa_flags & IFF_LOOPBACK) || !(a->ifa_flags & IFF_UP))
                    continue;
                std::array<char, INET_ADDRSTRLEN> text{};
                const auto* in = reinterpret_cast<const sockaddr_in*>(a->ifa_addr);
                if (inet_ntop(AF_INET, &in->sin_addr, text.data(), text.size()))
                    found.emplace_back(text.data());
            }
            freeifaddrs(list);
        } else {
            DiagnoseFormat("Quillmere: getifaddrs: %s", std::strerror(errno));
        }
        found.emplace_back("127.0.0.1");
        return found;
    }

    MonoImage QrCode(const std::string& text) override {
        std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
            QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
        MonoImage image;
        if (!code) {
            DiagnoseFormat("Quillmere: QR code: %s", std::strerror(errno));
            return image;
        }
        image.size = code->width;
        image.dark.resize(std::size_t(code->width) * std::size_t(code->width));
        for (std::size_t i = 0; i < image.dark.size(); ++i)
            image.dark[i] = code->data[i] & 1;
        return image;
    }
};

} // namespace

std::unique_ptr<IWebReadoutService> MakeWebReadoutService() {
    return std::make_unique<Service>();
}
