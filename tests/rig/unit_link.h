#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace rig {

// The line channel to the virtual units of the live test stack.
class UnitLink {
public:
    virtual ~UnitLink() = default;
    // False once the other end has gone.
    bool send(const std::string& line) {
        const std::string text = line + '\n';
        for (std::size_t done = 0; done < text.size();) {
            const long n = sendSome(text.data() + done, text.size() - done);
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }
    // One line without its newline; nothing once the other end has gone.
    std::optional<std::string> readLine() {
        for (auto end = m_pending.find('\n'); end == std::string::npos; end = m_pending.find('\n')) {
            char chunk[4096];
            const long n = receiveSome(chunk, sizeof chunk);
            if (n <= 0) return std::nullopt;
            m_pending.append(chunk, static_cast<std::size_t>(n));
        }
        const auto end = m_pending.find('\n');
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        return line;
    }

protected:
    // The bytes moved by one call, 0 or less once the other end has gone.
    virtual long sendSome(const char* data, std::size_t size) = 0;
    virtual long receiveSome(char* data, std::size_t size) = 0;

private:
    std::string m_pending;
};

// A Unix socket path, or HOST:PORT for TCP; the reason goes to error.
std::unique_ptr<UnitLink> connectUnitLink(const std::string& address, std::string& error);

// The handles this process holds on HID device nodes as the operating
// system itself counts them; nothing where it cannot be told apart.
std::optional<std::size_t> systemDeviceHandles();

}  // namespace rig
