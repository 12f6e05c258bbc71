#pragma once
// A value or a reason a person can act on, and the warnings of recoveries. Exceptions
// never cross the core API.

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
        Stopped, // its caller stopped the work before it was done
    };
    Kind kind;
    std::string message;
};

// A recovery: the file was read or drawn in spite of a fault, and the message says
// where and how. Code and tests branch on the kind.
struct Warning {
    enum class Kind {
        UnknownVersion, // a header other than GIF87a or GIF89a, read as GIF89a
        GraphicControlSize, // a graphic control block not 4 bytes long
        TooManyFrames, // images past the frame cap are left out
        StrayByte, // a byte that starts no block ends the file
        NoTrailer, // the file ends before its trailer
        InvalidCode, // an LZW code past the table; the pixels before it are kept
        BadMinCodeSize, // an LZW minimum code size that cannot be decoded; the image is not drawn
        DataEndsEarly, // the pixel data stops short; the missing pixels are left as they were
        RowCap, // only the rows within the decode cap per image are drawn
        FileCutShort, // another program cut the file short while it was open; the rest reads as empty
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

// Propagates a failed Result to the caller, or puts its value in `target`, which may
// declare a variable: FROLIX_TRY(std::uint32_t count, cursor.u32("a count"));
// It is several statements: never the unbraced body of an if, for or while.
#define FROLIX_TRY(target, expr)                                                                                       \
    auto FROLIX_TRY_NAME(__LINE__) = (expr);                                                                           \
    if (!FROLIX_TRY_NAME(__LINE__).ok())                                                                               \
        return FROLIX_TRY_NAME(__LINE__).error();                                                                      \
    target = std::move(FROLIX_TRY_NAME(__LINE__)).value()
#define FROLIX_TRY_NAME(line) FROLIX_TRY_JOIN(frolixResult, line)
#define FROLIX_TRY_JOIN(a, b) a##b
