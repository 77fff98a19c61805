// The database error: the one exception type of the program. Every cursor
// operation that fails throws it; callers catch it where the operation runs,
// log Description() and carry on as their own rules say.
#pragma once

#include <exception>
#include <string>

namespace kv {

class CDaoException : public std::exception {
public:
    CDaoException(int code, std::string description)
        : m_nErrorCode(code), m_strDescription(std::move(description)) {}

    int ErrorCode() const noexcept { return m_nErrorCode; }
    const std::string& Description() const noexcept { return m_strDescription; }
    const char* what() const noexcept override { return m_strDescription.c_str(); }

    int m_nErrorCode;
    std::string m_strDescription;
};

} // namespace kv
