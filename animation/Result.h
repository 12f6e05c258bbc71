#pragma once
// A value or a reason a person can act on. Exceptions never cross the core API.

#include <string>
#include <utility>
#include <variant>

namespace frolix {

struct Error {
    enum class Kind {
        NotGif, // the bytes do not start like a GIF at all
        Truncated, // the file ends before anything can be shown
        OverLimit, // a size or count is beyond what we are willing to hold
        Malformed, // the structure is broken in a way that leaves nothing to show
        Io, // the file could not be read
    };
    Kind kind;
    std::string message;
};

template <typename T> class [[nodiscard]] Result {
public:
    Result(T value)
        : m_state(std::move(value))
    {
    }
    Result(Error error)
        : m_state(std::move(error))
    {
    }

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<T>(m_state); }
    const T& value() const& { return std::get<T>(m_state); }
    T&& value() && { return std::get<T>(std::move(m_state)); }
    const Error& error() const { return std::get<Error>(m_state); }

private:
    std::variant<T, Error> m_state;
};

inline Error makeError(Error::Kind kind, std::string message) { return Error { kind, std::move(message) }; }

} // namespace frolix

// Propagates a failed Result to the caller; yields the value otherwise.
#define FROLIX_TRY(expr)                                                                                               \
    ({                                                                                                                 \
        auto _frolix_result = (expr);                                                                                  \
        if (!_frolix_result.ok())                                                                                      \
            return _frolix_result.error();                                                                             \
        std::move(_frolix_result).value();                                                                             \
    })
