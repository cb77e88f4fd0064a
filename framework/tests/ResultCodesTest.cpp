#include "AAX_Errors.h"
#include "AAX_Exception.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  int code;
  const char* name;
};

// The whole named table, so a typo or a missing row in the name lookup shows up.
const NameCase kNamedCodes[] = {
    {0, "AAX_SUCCESS"},
    {-20001, "AAX_ERROR_INVALID_PARAMETER_ID"},
    {-20002, "AAX_ERROR_INVALID_STRING_CONVERSION"},
    {-20003, "AAX_ERROR_INVALID_METER_INDEX"},
    {-20004, "AAX_ERROR_NULL_OBJECT"},
    {-20005, "AAX_ERROR_OLDER_VERSION"},
    {-20006, "AAX_ERROR_INVALID_CHUNK_INDEX"},
    {-20007, "AAX_ERROR_INVALID_CHUNK_ID"},
    {-20008, "AAX_ERROR_INCORRECT_CHUNK_SIZE"},
    {-20009, "AAX_ERROR_UNIMPLEMENTED"},
    {-20010, "AAX_ERROR_INVALID_PARAMETER_INDEX"},
    {-20011, "AAX_ERROR_NOT_INITIALIZED"},
    {-20012, "AAX_ERROR_ACF_ERROR"},
    {-20013, "AAX_ERROR_INVALID_METER_TYPE"},
    {-20014, "AAX_ERROR_CONTEXT_ALREADY_HAS_METERS"},
    {-20015, "AAX_ERROR_NULL_COMPONENT"},
    {-20016, "AAX_ERROR_PORT_ID_OUT_OF_RANGE"},
    {-20017, "AAX_ERROR_FIELD_TYPE_DOES_NOT_SUPPORT_DIRECT_ACCESS"},
    {-20018, "AAX_ERROR_DIRECT_ACCESS_OUT_OF_BOUNDS"},
    {-20019, "AAX_ERROR_FIFO_FULL"},
    {-20020, "AAX_ERROR_INITIALIZING_PACKET_STREAM_THREAD"},
    {-20021, "AAX_ERROR_POST_PACKET_FAILED"},
    {-20022, "AAX_RESULT_PACKET_STREAM_NOT_EMPTY"},
    {-20023, "AAX_RESULT_ADD_FIELD_UNSUPPORTED_FIELD_TYPE"},
    {-20024, "AAX_ERROR_MIXER_THREAD_FALLING_BEHIND"},
    {-20025, "AAX_ERROR_INVALID_FIELD_INDEX"},
    {-20026, "AAX_ERROR_MALFORMED_CHUNK"},
    {-20027, "AAX_ERROR_TOD_BEHIND"},
    {-20028, "AAX_RESULT_NEW_PACKET_POSTED"},
    {-20029, "AAX_ERROR_PLUGIN_NOT_AUTHORIZED"},
    {-20030, "AAX_ERROR_PLUGIN_NULL_PARAMETER"},
    {-20031, "AAX_ERROR_NOTIFICATION_FAILED"},
    {-20032, "AAX_ERROR_INVALID_VIEW_SIZE"},
    {-20033, "AAX_ERROR_SIGNED_INT_OVERFLOW"},
    {-20034, "AAX_ERROR_NO_COMPONENTS"},
    {-20035, "AAX_ERROR_DUPLICATE_EFFECT_ID"},
    {-20036, "AAX_ERROR_DUPLICATE_TYPE_ID"},
    {-20037, "AAX_ERROR_EMPTY_EFFECT_NAME"},
    {-20038, "AAX_ERROR_UNKNOWN_PLUGIN"},
    {-20039, "AAX_ERROR_PROPERTY_UNDEFINED"},
    {-20040, "AAX_ERROR_INVALID_PATH"},
    {-20041, "AAX_ERROR_UNKNOWN_ID"},
    {-20042, "AAX_ERROR_UNKNOWN_EXCEPTION"},
    {-20043, "AAX_ERROR_INVALID_ARGUMENT"},
    {-20044, "AAX_ERROR_NULL_ARGUMENT"},
    {-20045, "AAX_ERROR_INVALID_INTERNAL_DATA"},
    {-20046, "AAX_ERROR_ARGUMENT_BUFFER_OVERFLOW"},
    // Range boundaries and codes of the framework outside the table.
    {-20600, "plug-in defined error"},
    {-20700, "plug-in defined error"},
    {-21000, "plug-in defined error"},
    {-20599, "<unknown error code>"},
    {-21001, "<unknown error code>"},
    {-20047, "<unknown error code>"},
    {-20051, "<unknown error code>"},
    {-333, "<unknown error code>"},
    {1, "<unknown error code>"},
    {static_cast<int>(0x8000FFFFu), "<unknown error code>"},
};

TEST(ResultCodes, EveryCodeHasItsName) {
  for (const NameCase& c : kNamedCodes) {
    EXPECT_EQ(AAX::AsStringResult(c.code), c.name) << "code " << c.code;
  }
}

TEST(ResultCodes, DecimalText) {
  EXPECT_EQ(AAX::AsStringInt32(0), "0");
  EXPECT_EQ(AAX::AsStringInt32(-20009), "-20009");
  EXPECT_EQ(AAX::AsStringInt32(2147483647), "2147483647");
  EXPECT_EQ(AAX::AsStringInt32(-2147483647 - 1), "-2147483648");
}

TEST(ResultError, MessageCarriesNameAndCode) {
  EXPECT_EQ(AAX::Exception::ResultError(-20009).What(), "AAX_ERROR_UNIMPLEMENTED (-20009)");
  EXPECT_EQ(AAX::Exception::ResultError(-20700).What(), "plug-in defined error (-20700)");
  EXPECT_EQ(AAX::Exception::ResultError(-333).What(), "<unknown error code> (-333)");
  EXPECT_EQ(AAX::Exception::ResultError(-20004).Result(), -20004);
}

TEST(ResultError, CopyKeepsMessageAndCode) {
  const AAX::Exception::ResultError original(-20004);
  const AAX::Exception::ResultError copy(original);  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_EQ(copy.What(), original.What());
  EXPECT_EQ(copy.Result(), -20004);
  AAX::Exception::ResultError assigned(0);
  assigned = original;
  EXPECT_EQ(assigned.What(), "AAX_ERROR_NULL_OBJECT (-20004)");
  EXPECT_EQ(assigned.Result(), -20004);
}

TEST(ResultError, CaughtAsAnyAndAsString) {
  try {
    throw AAX::Exception::ResultError(-20043);
  } catch (const AAX::Exception::Any& any) {
    EXPECT_EQ(AAX::AsString(any), "AAX_ERROR_INVALID_ARGUMENT (-20043)");
  }
}

TEST(AnyException, FullMessageAddsFunctionAndLineOnlyWhenGiven) {
  EXPECT_EQ(AAX::Exception::Any("broken").What(), "broken");
  EXPECT_EQ(AAX::Exception::Any(static_cast<const char*>(nullptr)).What(), "");
  EXPECT_EQ(AAX::Exception::Any("broken", "Load", "").What(), "broken func:Load");
  EXPECT_EQ(AAX::Exception::Any("broken", "Load", "12").What(), "broken func:Load line:12");
  EXPECT_EQ(AAX::Exception::Any("broken", "", "12").What(), "broken line:12");
}

}  // namespace
