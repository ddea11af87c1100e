// The one exception type of the host kit: a message fit to show a user.
#pragma once

#include <stdexcept>

namespace quorvel::host {

class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvel::host
