#pragma once
// The library's exception base, the assertion exception and KV_ASSERT.

#include <stdexcept>
#include <string>

namespace kestrova {

// Base of every exception the library raises. ClassName() gives the name shown in reports
// ("Class=" + ClassName()); each subclass overrides it with its own name. Reports treat a
// ClassName that raises or returns nullptr as an object that cannot be described.
class Exception : public std::runtime_error
{
public:
    explicit Exception(const std::string &message)
        : std::runtime_error(message)
    {
    }
    virtual const char *ClassName() const { return "Exception"; }
};

// Declares an exception class deriving from Base with its own report name.
#define KV_DECLARE_EXCEPTION(Name, Base)                                                           \
    class Name : public Base                                                                       \
    {                                                                                              \
    public:                                                                                        \
        using Base::Base;                                                                          \
        const char *ClassName() const noexcept override { return #Name; }                          \
    }

KV_DECLARE_EXCEPTION(EAssertionFailed, Exception);
// Text or a value that cannot be converted (numbers, dates, formats).
KV_DECLARE_EXCEPTION(EConvertError, Exception);

// The class name used in reports for any exception object. Raises when the object cannot name
// itself (its ClassName raises or gives nullptr).
std::string ExceptionClassName(const std::exception &e);

[[noreturn]] void RaiseAssertion(const char *text, const char *file, int line);

} // namespace kestrova

// A broken precondition: raises EAssertionFailed naming the source file and line.
#define KV_ASSERT(cond, text)                                                                      \
    do {                                                                                           \
        if (!(cond))                                                                               \
            ::kestrova::RaiseAssertion((text), __FILE__, __LINE__);                                \
    } while (0)
