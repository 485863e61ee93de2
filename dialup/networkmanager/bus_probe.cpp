#include "dialup/networkmanager/bus_probe.h"

#include "platform/unique_fd_posix.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// The value of key in one address ("unix:path=/run/x,guid=..."), with %XX undone.
std::optional<std::string> AddressValue(const std::string& entry, const std::string& key) {
    size_t pos = entry.find(':');
    while (pos != std::string::npos) {
        const size_t start = pos + 1;
        const size_t end = entry.find(',', start);
        const std::string pair = entry.substr(start, end - start);
        if (pair.compare(0, key.size() + 1, key + "=") == 0) {
            std::string value;
            for (size_t i = key.size() + 1; i < pair.size(); ++i) {
                if (pair[i] == '%' && i + 2 < pair.size()) {
                    value +=
                        static_cast<char>(std::strtol(pair.substr(i + 1, 2).c_str(), nullptr, 16));
                    i += 2;
                } else {
                    value += pair[i];
                }
            }
            return value;
        }
        pos = end;
    }
    return std::nullopt;
}

// A connected socket to the first unix address of the list that takes it.
UniqueFd ConnectFirst(const std::string& address, bool& connected, std::string& reason) {
    size_t start = 0;
    while (start <= address.size()) {
        const size_t end = std::min(address.find(';', start), address.size());
        const std::string entry = address.substr(start, end - start);
        start = end + 1;
        if (entry.empty())
            continue;
        const auto path = AddressValue(entry, "path");
        const auto abstract = AddressValue(entry, "abstract");
        if (entry.compare(0, 5, "unix:") != 0 || (!path && !abstract)) {
            reason = "cannot ask the bus at " + entry;
            continue;
        }
        const std::string& name = path ? *path : *abstract;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const size_t offset = path ? 0 : 1; // an abstract name starts with a zero byte
        if (name.size() + offset >= sizeof addr.sun_path) {
            reason = "bus address too long: " + entry;
            continue;
        }
        std::memcpy(addr.sun_path + offset, name.data(), name.size());
        const auto len =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + name.size() + 1);
        // Non-blocking: a listener whose backlog is full would hold a blocking connect.
        UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!fd) {
            reason = Errno("socket");
            return {};
        }
        if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), len) == 0) {
            connected = true;
            return fd;
        }
        reason = Errno(("connect to " + entry).c_str());
    }
    if (reason.empty())
        reason = "no bus address in '" + address + "'";
    return {};
}

class Conversation {
public:
    Conversation(int fd, SteadyClock::time_point deadline) : m_fd(fd), m_deadline(deadline) {}

    bool Send(const std::string& data, std::string& reason) {
        size_t sent = 0;
        while (sent < data.size()) {
            if (!Wait(POLLOUT, reason))
                return false;
            const ssize_t n = ::send(m_fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                reason = Errno("send");
                return false;
            }
            if (n > 0)
                sent += static_cast<size_t>(n);
        }
        return true;
    }

    // Makes at least count bytes readable in Buffer().
    bool Fill(size_t count, std::string& reason) {
        while (m_buffer.size() < count) {
            if (!Wait(POLLIN, reason))
                return false;
            char chunk[512];
            const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (n == 0) {
                reason = "the bus closed the connection";
                return false;
            }
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                reason = Errno("recv");
                return false;
            }
            if (n > 0)
                m_buffer.append(chunk, static_cast<size_t>(n));
        }
        return true;
    }

    std::optional<std::string> Line(std::string& reason) {
        for (;;) {
            const size_t end = m_buffer.find("\r\n");
            if (end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 2);
                return line;
            }
            if (m_buffer.size() > 4096 || !Fill(m_buffer.size() + 1, reason))
                return std::nullopt;
        }
    }

    std::string& Buffer() { return m_buffer; }

private:
    bool Wait(short events, std::string& reason) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - SteadyClock::now());
        pollfd pfd{m_fd, events, 0};
        const int r = left.count() > 0 ? ::poll(&pfd, 1, static_cast<int>(left.count())) : 0;
        if (r == 0) {
            reason = "the bus did not answer in time";
            return false;
        }
        if (r < 0 && errno != EINTR) {
            reason = Errno("poll");
            return false;
        }
        return true;
    }

    int m_fd;
    SteadyClock::time_point m_deadline;
    std::string m_buffer;
};

// Little-endian message writer, enough for a method call with string arguments.
class Message {
public:
    void Align(size_t n) {
        while (m_data.size() % n)
            m_data += '\0';
    }
    void Byte(char b) { m_data += b; }
    void U32(uint32_t v) {
        Align(4);
        for (int i = 0; i < 4; ++i)
            m_data += static_cast<char>((v >> (8 * i)) & 0xff);
    }
    void String(const std::string& s) {
        U32(static_cast<uint32_t>(s.size()));
        m_data += s;
        m_data += '\0';
    }
    void Signature(const std::string& s) {
        Byte(static_cast<char>(s.size()));
        m_data += s;
        m_data += '\0';
    }
    void Field(char code, char type, const std::string& value) {
        Align(8);
        Byte(code);
        Signature(std::string(1, type));
        if (type == 'g')
            Signature(value);
        else
            String(value);
    }
    std::string& Data() { return m_data; }

private:
    std::string m_data;
};

std::string MethodCall(uint32_t serial, const std::string& member, const std::string& argument) {
    Message body;
    if (!argument.empty())
        body.String(argument);
    Message fields;
    fields.Field(1, 'o', "/org/freedesktop/DBus");
    fields.Field(6, 's', "org.freedesktop.DBus");
    fields.Field(2, 's', "org.freedesktop.DBus");
    fields.Field(3, 's', member);
    if (!argument.empty())
        fields.Field(8, 'g', "s");
    Message msg;
    msg.Byte('l');
    msg.Byte(1); // method call
    msg.Byte(0);
    msg.Byte(1);
    msg.U32(static_cast<uint32_t>(body.Data().size()));
    msg.U32(serial);
    msg.U32(static_cast<uint32_t>(fields.Data().size()));
    msg.Data() += fields.Data();
    msg.Align(8);
    return msg.Data() + body.Data();
}

struct Reply {
    int type = 0;
    uint32_t replySerial = 0;
    std::string body;
    bool bigEndian = false;
};

uint32_t ReadU32(const std::string& data, size_t at, bool bigEndian) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<uint8_t>(data[at + static_cast<size_t>(i)]);
        v |= static_cast<uint32_t>(byte) << (bigEndian ? 8 * (3 - i) : 8 * i);
    }
    return v;
}

size_t Aligned(size_t at, size_t n) {
    return (at + n - 1) / n * n;
}

// The next whole message from the conversation.
std::optional<Reply> ReadMessage(Conversation& talk, std::string& reason) {
    if (!talk.Fill(16, reason))
        return std::nullopt;
    std::string& buf = talk.Buffer();
    Reply reply;
    reply.bigEndian = buf[0] == 'B';
    reply.type = buf[1];
    const uint32_t bodyLength = ReadU32(buf, 4, reply.bigEndian);
    const uint32_t fieldsLength = ReadU32(buf, 12, reply.bigEndian);
    if (bodyLength > (1u << 20) || fieldsLength > (1u << 20)) {
        reason = "the bus sent a message too large";
        return std::nullopt;
    }
    const size_t bodyStart = Aligned(16 + fieldsLength, 8);
    if (!talk.Fill(bodyStart + bodyLength, reason))
        return std::nullopt;
    // Header fields: (code, variant) structs; only REPLY_SERIAL matters here.
    size_t at = 16;
    const size_t end = 16 + fieldsLength;
    while (at < end) {
        at = Aligned(at, 8);
        if (at + 3 > end)
            break;
        const char code = buf[at];
        const size_t sigLength = static_cast<uint8_t>(buf[at + 1]);
        const char type = sigLength == 1 ? buf[at + 2] : '?';
        at += 2 + sigLength + 1;
        if (type == 'u') {
            at = Aligned(at, 4);
            if (code == 5 && at + 4 <= end)
                reply.replySerial = ReadU32(buf, at, reply.bigEndian);
            at += 4;
        } else if (type == 's' || type == 'o') {
            at = Aligned(at, 4);
            at += 4 + (at + 4 <= end ? ReadU32(buf, at, reply.bigEndian) : 0) + 1;
        } else if (type == 'g') {
            at += 1 + (at < end ? static_cast<uint8_t>(buf[at]) : 0) + 1;
        } else {
            reason = "the bus sent a header this probe does not read";
            return std::nullopt;
        }
    }
    reply.body = buf.substr(bodyStart, bodyLength);
    buf.erase(0, bodyStart + bodyLength);
    return reply;
}

// The reply to serial, skipping signals (NameAcquired) that come before it.
std::optional<Reply> ReplyTo(uint32_t serial, Conversation& talk, std::string& reason) {
    for (;;) {
        auto msg = ReadMessage(talk, reason);
        if (!msg)
            return std::nullopt;
        if ((msg->type == 2 || msg->type == 3) && msg->replySerial == serial)
            return msg;
    }
}

} // namespace

std::string SystemBusAddress() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address && *address ? address : "unix:path=/var/run/dbus/system_bus_socket";
}

BusProbeResult ProbeBus(const std::string& address, const std::string& name,
                        std::chrono::milliseconds limit) {
    BusProbeResult result;
    const UniqueFd socket = ConnectFirst(address, result.connected, result.reason);
    if (!socket)
        return result;
    Conversation talk(socket.Get(), SteadyClock::now() + limit);

    std::string uid;
    for (const char c : std::to_string(::getuid())) {
        static const char hex[] = "0123456789abcdef";
        uid += hex[(c >> 4) & 0xf];
        uid += hex[c & 0xf];
    }
    if (!talk.Send(std::string(1, '\0') + "AUTH EXTERNAL " + uid + "\r\n", result.reason))
        return result;
    const auto answer = talk.Line(result.reason);
    if (!answer)
        return result;
    if (answer->compare(0, 3, "OK ") != 0) {
        result.reason = "the bus refused us: " + *answer;
        return result;
    }
    if (!talk.Send("BEGIN\r\n" + MethodCall(1, "Hello", "") + MethodCall(2, "NameHasOwner", name),
                   result.reason))
        return result;
    const auto hello = ReplyTo(1, talk, result.reason);
    if (!hello)
        return result;
    if (hello->type != 2) {
        result.reason = "the bus refused Hello";
        return result;
    }
    const auto owner = ReplyTo(2, talk, result.reason);
    if (!owner)
        return result;
    result.answered = true;
    result.hasOwner = owner->type == 2 && owner->body.size() >= 4 &&
                      ReadU32(owner->body, 0, owner->bigEndian) != 0;
    if (!result.hasOwner)
        result.reason = name + " is not on the bus";
    return result;
}
