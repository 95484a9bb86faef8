#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace app {

// The line channel to the virtual units of the live test stack.
class UnitLink {
public:
    virtual ~UnitLink() = default;
    // False once the other end has gone.
    virtual bool send(const std::string& line) = 0;
    // One line without its newline; nothing once the other end has gone.
    virtual std::optional<std::string> readLine() = 0;
};

// A Unix socket path, or HOST:PORT for TCP; the reason goes to error.
std::unique_ptr<UnitLink> connectUnitLink(const std::string& address, std::string& error);

// The handles this process holds on HID device nodes as the operating
// system itself counts them; nothing where it cannot be told apart.
std::optional<std::size_t> systemDeviceHandles();

}  // namespace app
