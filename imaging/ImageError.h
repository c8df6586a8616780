#pragma once

#include <stdexcept>
#include <string>

namespace kv::imaging {

// The one error type of the imaging library. Its text is what the user sees, word for word.
class ImageError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A fatal libjpeg error. The number is the linked library's message code.
class EJPEG : public ImageError
{
public:
    explicit EJPEG(int code);
    int Code() const { return code_; }

private:
    int code_;
};

} // namespace kv::imaging
