#include "AAX_Exception.h"

#include "AAX_Errors.h"

#include <utility>

namespace AAX {

namespace {

struct NamedCode {
  int code;
  const char* name;
};

constexpr NamedCode kNames[] = {
    {AAX_SUCCESS, "AAX_SUCCESS"},
    {AAX_ERROR_INVALID_PARAMETER_ID, "AAX_ERROR_INVALID_PARAMETER_ID"},
    {AAX_ERROR_INVALID_STRING_CONVERSION, "AAX_ERROR_INVALID_STRING_CONVERSION"},
    {AAX_ERROR_INVALID_METER_INDEX, "AAX_ERROR_INVALID_METER_INDEX"},
    {AAX_ERROR_NULL_OBJECT, "AAX_ERROR_NULL_OBJECT"},
    {AAX_ERROR_OLDER_VERSION, "AAX_ERROR_OLDER_VERSION"},
    {AAX_ERROR_INVALID_CHUNK_INDEX, "AAX_ERROR_INVALID_CHUNK_INDEX"},
    {AAX_ERROR_INVALID_CHUNK_ID, "AAX_ERROR_INVALID_CHUNK_ID"},
    {AAX_ERROR_INCORRECT_CHUNK_SIZE, "AAX_ERROR_INCORRECT_CHUNK_SIZE"},
    {AAX_ERROR_UNIMPLEMENTED, "AAX_ERROR_UNIMPLEMENTED"},
    {AAX_ERROR_INVALID_PARAMETER_INDEX, "AAX_ERROR_INVALID_PARAMETER_INDEX"},
    {AAX_ERROR_NOT_INITIALIZED, "AAX_ERROR_NOT_INITIALIZED"},
    {AAX_ERROR_ACF_ERROR, "AAX_ERROR_ACF_ERROR"},
    {AAX_ERROR_INVALID_METER_TYPE, "AAX_ERROR_INVALID_METER_TYPE"},
    {AAX_ERROR_CONTEXT_ALREADY_HAS_METERS, "AAX_ERROR_CONTEXT_ALREADY_HAS_METERS"},
    {AAX_ERROR_NULL_COMPONENT, "AAX_ERROR_NULL_COMPONENT"},
    {AAX_ERROR_PORT_ID_OUT_OF_RANGE, "AAX_ERROR_PORT_ID_OUT_OF_RANGE"},
    {AAX_ERROR_FIELD_TYPE_DOES_NOT_SUPPORT_DIRECT_ACCESS, "AAX_ERROR_FIELD_TYPE_DOES_NOT_SUPPORT_DIRECT_ACCESS"},
    {AAX_ERROR_DIRECT_ACCESS_OUT_OF_BOUNDS, "AAX_ERROR_DIRECT_ACCESS_OUT_OF_BOUNDS"},
    {AAX_ERROR_FIFO_FULL, "AAX_ERROR_FIFO_FULL"},
    {AAX_ERROR_INITIALIZING_PACKET_STREAM_THREAD, "AAX_ERROR_INITIALIZING_PACKET_STREAM_THREAD"},
    {AAX_ERROR_POST_PACKET_FAILED, "AAX_ERROR_POST_PACKET_FAILED"},
    {AAX_RESULT_PACKET_STREAM_NOT_EMPTY, "AAX_RESULT_PACKET_STREAM_NOT_EMPTY"},
    {AAX_RESULT_ADD_FIELD_UNSUPPORTED_FIELD_TYPE, "AAX_RESULT_ADD_FIELD_UNSUPPORTED_FIELD_TYPE"},
    {AAX_ERROR_MIXER_THREAD_FALLING_BEHIND, "AAX_ERROR_MIXER_THREAD_FALLING_BEHIND"},
    {AAX_ERROR_INVALID_FIELD_INDEX, "AAX_ERROR_INVALID_FIELD_INDEX"},
    {AAX_ERROR_MALFORMED_CHUNK, "AAX_ERROR_MALFORMED_CHUNK"},
    {AAX_ERROR_TOD_BEHIND, "AAX_ERROR_TOD_BEHIND"},
    {AAX_RESULT_NEW_PACKET_POSTED, "AAX_RESULT_NEW_PACKET_POSTED"},
    {AAX_ERROR_PLUGIN_NOT_AUTHORIZED, "AAX_ERROR_PLUGIN_NOT_AUTHORIZED"},
    {AAX_ERROR_PLUGIN_NULL_PARAMETER, "AAX_ERROR_PLUGIN_NULL_PARAMETER"},
    {AAX_ERROR_NOTIFICATION_FAILED, "AAX_ERROR_NOTIFICATION_FAILED"},
    {AAX_ERROR_INVALID_VIEW_SIZE, "AAX_ERROR_INVALID_VIEW_SIZE"},
    {AAX_ERROR_SIGNED_INT_OVERFLOW, "AAX_ERROR_SIGNED_INT_OVERFLOW"},
    {AAX_ERROR_NO_COMPONENTS, "AAX_ERROR_NO_COMPONENTS"},
    {AAX_ERROR_DUPLICATE_EFFECT_ID, "AAX_ERROR_DUPLICATE_EFFECT_ID"},
    {AAX_ERROR_DUPLICATE_TYPE_ID, "AAX_ERROR_DUPLICATE_TYPE_ID"},
    {AAX_ERROR_EMPTY_EFFECT_NAME, "AAX_ERROR_EMPTY_EFFECT_NAME"},
    {AAX_ERROR_UNKNOWN_PLUGIN, "AAX_ERROR_UNKNOWN_PLUGIN"},
    {AAX_ERROR_PROPERTY_UNDEFINED, "AAX_ERROR_PROPERTY_UNDEFINED"},
    {AAX_ERROR_INVALID_PATH, "AAX_ERROR_INVALID_PATH"},
    {AAX_ERROR_UNKNOWN_ID, "AAX_ERROR_UNKNOWN_ID"},
    {AAX_ERROR_UNKNOWN_EXCEPTION, "AAX_ERROR_UNKNOWN_EXCEPTION"},
    {AAX_ERROR_INVALID_ARGUMENT, "AAX_ERROR_INVALID_ARGUMENT"},
    {AAX_ERROR_NULL_ARGUMENT, "AAX_ERROR_NULL_ARGUMENT"},
    {AAX_ERROR_INVALID_INTERNAL_DATA, "AAX_ERROR_INVALID_INTERNAL_DATA"},
    {AAX_ERROR_ARGUMENT_BUFFER_OVERFLOW, "AAX_ERROR_ARGUMENT_BUFFER_OVERFLOW"},
};

}  // namespace

std::string AsStringResult(int result) {
  for (const NamedCode& entry : kNames) {
    if (entry.code == result) return entry.name;
  }
  if (result >= AAX_ERROR_PLUGIN_BEGIN && result <= AAX_ERROR_PLUGIN_END) return "plug-in defined error";
  return "<unknown error code>";
}

std::string AsStringInt32(int value) { return std::to_string(value); }

std::string AsString(const std::string& text) { return text; }

std::string AsString(const Exception::Any& error) { return error.What(); }

namespace Exception {

Any::Any(const std::string& description) : Any(description, std::string(), std::string()) {}

Any::Any(const char* description) : Any(std::string(description ? description : "")) {}

Any::Any(const std::string& description, const std::string& function, const std::string& line)
    : mDesc(description), mFunction(function), mLine(line), mWhat(CreateWhat(description, function, line)) {}

Any::~Any() = default;

std::string Any::CreateWhat(const std::string& description, const std::string& function,
                            const std::string& line) {
  std::string what = description;
  if (!function.empty()) what += " func:" + function;
  if (!line.empty()) what += " line:" + line;
  return what;
}

ResultError::ResultError(int result) : Any(FormatResult(result)), mResult(result) {}

// A copy takes the other's full message as its description.
ResultError::ResultError(const ResultError& other) : Any(other.What()), mResult(other.mResult) {}

ResultError& ResultError::operator=(const ResultError& other) {
  if (this != &other) {
    Any::operator=(Any(other.What()));
    mResult = other.mResult;
  }
  return *this;
}

ResultError::~ResultError() = default;

std::string ResultError::FormatResult(int result) {
  return AsStringResult(result) + " (" + AsStringInt32(result) + ")";
}

}  // namespace Exception

}  // namespace AAX
