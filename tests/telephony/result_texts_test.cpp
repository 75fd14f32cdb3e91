// Every result code's sentence, exactly, and the codes that have none.

#include <gtest/gtest.h>

#include <string>

#include "tel_phone_fixture.h"
#include "telephony/result_texts.h"

namespace telvora::telephony::test {
namespace {

struct TextCase {
  int code;
  const char* text;
};

constexpr TextCase kTexts[] = {
    {-100, "The file is protected and cannot be opened."},
    {-98, "The network is not responding to the request to open a remote file."},
    {-97, "The filename, directory name or volume label was not found."},
    {-96, "The file is being used by another application and is unavailable."},
    {-95, "Too many files already open."},
    {-94, "The filename, directory name or volume label syntax is incorrect."},
    {-93, "Read/write operations on the file failed."},
    {-92, "Cannot write into the file."},
    {-90, "File is exclusively allocated by another application."},
    {-89, "File cannot be opened."},
    {-88, "The file contains no data."},
    {-51, "The disk is full."},
    {-50, "Unable to allocate memory."},
    {-10, "One or more of the arguments is invalid."},
    {-2, "The operation requested is already in progress."},
    {-1, "Operation failed to complete successfully."},
    {99, "Could not initialize the application under the TAPI."},
    {100, "Could not open the line device."},
    {101, "No TAPI-capable line device installed."},
    {102, "Bad line device ID."},
    {103, "Could not negotiate the version of TAPI."},
    {105, "Could not setup the line device."},
    {106, "Line device is exclusively allocated by another application."},
    {107, "Line device is unavailable."},
    {108, "Error has occurred during call operation."},
    {109, "Error has occurred during answer operation."},
    {110, "Cannot answer the call because it's not being offered."},
    {111, "Error has occurred during hang up operation."},
    {112, "Error has occurred during line device close operation."},
    {113, "Telephony Device Time out: telephony device response to the application request was not received in the expected time."},
    {114, "The property AddressID is out of range."},
    {115, "The call handle specified is invalid."},
    {116, "Application does not have owner privilege to this call."},
    {150, "Device name is unavailable."},
    {151, "External Auxiliary Device is not supported by this line device."},
    {152, "External Handset Device is not supported by this line device."},
    {153, "Caller ID is unavailable for this call."},
    {154, "This device does not support Caller ID."},
    {155, "Invalid dial number."},
    {156, "Set/Read mic and speaker state failed."},
    {157, "Line device is not active. Use the LineActive method to activate it."},
    {158, "The requested action can not be done while the call is in progress. Wait until it is disconnected."},
    {159, "The requested action can not be done while the offering call is in progress. Wait until it is dropped."},
    {160, "Another application request is in progress. Wait until it is complete."},
    {161, "The call is already disconnected."},
    {162, "The telephony device is not compatible with the value specified by the MediaMode property."},
    {163, "The LineConfigLoad method failed because the key specified could not be found."},
    {164, "The required operation on the external device is unavailable."},
    {170, "Operation failed because there is no consultation call."},
    {8, "Sound device is not enabled."},
    {9, "Sound device was abruptly closed."},
    {10, "Sound device is exclusively allocated by another application."},
    {11, "Invalid sound device ID was passed as an argument."},
    {12, "Device driver is not present or not accessible."},
    {14, "The sound device does not support the format of the wave file."},
    {15, "The device is synchronous and it's not allowed."},
    {16, "There is no sound device installed."},
    {37, "Not a PCM wave file or the file has been corrupted."},
    {50, "Unable to allocate system resources to create a timer."},
    {51, "Operation failed because the wave files involved have different formats."},
    {301, "Fax Time out: no response was received in the expected time."},
    {302, "Another fax operation is in progress. Wait until it is complete."},
    {303, "The property InitString has an invalid value."},
    {304, "The modem does not support Class 1, Class 1.0, Class 2 or Class 2.0 fax commands."},
    {305, "An invalid response occurred during the fax negotiation protocol."},
    {306, "All attempts to train failed."},
    {310, "The width of the fax page received is not valid. The valid width is 1728 pixels."},
    {311, "Fax communication was aborted by the remote fax device."},
    {312, "Fax protocol failed."},
    {313, "The property LinkedTo is unassigned."},
    {314, "Fax page received with error."},
    {315, "Warning: All fax pages were sent but the remote did not acknowledge the successful receipt of the fax."},
    {400, "Unsupported file compression."},
    {401, "This operation requires a TIFF file."},
    {403, "Invalid file name extension."},
    {410, "There is no selection area."},
    {411, "Unsupported clipboard format."},
    {412, "There is no 'undo' or 'redo' operation available."},
    {413, "There is no image loaded."},
    {416, "The picture to be inserted is empty."},
    {420, "Invalid BMP format."},
    {422, "Invalid JPEG format."},
    {429, "Error has occurred while reading the TIFF file."},
    {430, "Error has occurred while writing the TIFF file."},
    {431, "Invalid TIFF format."},
    {432, "TIFF file width is invalid for FAX transmission. The valid width value is 1728 pixels."},
    {433, "TIFF file resolution is invalid for FAX transmission. The valid resolution value in dpi is 200x200 or 200x100."},
    {434, "TIFF file bits per sample (BPS) is invalid for FAX transmission.The valid BPS value is 1."},
    {440, "Cannot print while another printing is in being prepared. Wait until it is finished."},
    {450, "Could not load the TWAIN_32.DLL."},
    {451, "Unable to open scanner."},
    {455, "The value specified for the TIFF compression option is invalid for the color mode of the current picture."},
    {500, "Could not access the Serial Port because the call connected by TelPhone control was closed. The port will be closed."},
    {501, "Could not setup the serial port device."},
    {502, "Could not flush the serial port buffer."},
    {503, "The serial port number is invalid. Check if the serial port is already opened."},
    {504, "Serial port device was abruptly closed."},
    {505, "A Communication error (frame, overrun or parity error) occurred."},
    {506, "Unable to send data completely to the serial port device."},
    {507, "Unable to read data from the serial port device."},
    {508, "Serial Port is not opened."},
    {509, "Serial Port is already opened."},
    {510, "The buffer size can not be changed while the Serial Port is opened."},
    {512, "The method WaitResponse cannot be used because no response is set or enabled."},
    {513, "Another WaitResponse method is in progress. Wait until it is finished."},
    {514, "The WaitResponse operation was aborted due to a call to AbortWaitResponse method."},
    {600, "No response from the remote."},
    {601, "The maximum number of retries is exceeded."},
    {603, "The property LinkedTo is unassigned."},
    {605, "Another sending or receiving operation is in progress. Wait until it is complete."},
    {606, "There is no file for transmission."},
    {607, "The remote aborted the transmission while the file was being sent or received."},
    {650, "Unknown compression file format."},
    {651, "Compressed file is corrupted."},
    {652, "The password to decompress the file is invalid."},
    {653, "Another file compression or decompression operation is in progress. Wait until it is complete."},
    {654, "The file compression or decompression operation was aborted by the user."},
    {700, "SAPI or one of its dependencies cannot be found."},
    {701, "Sound device is exclusively allocated by another application."},
    {702, "Sound device is not enabled."},
    {703, "Invalid sound device ID was passed as an argument."},
    {706, "The requested dialog box because is not supported by the current SAPI engine."},
    {707, "Failed to compile the inputed voice commands due to bad syntax."},
    {708, "Could not start SAPI engine because it is currently processing audio. Please retry later."},
    {709, "This operation requires a XML file."},
};

TEST(ResultTextsTest, EveryCodeHasItsSentence) {
  for (const TextCase& c : kTexts) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(ResultText(c.code), c.text);
  }
}

TEST(ResultTextsTest, CodesWithoutSentenceYieldEmptyText) {
  const int codes[] = {0, 104, 117, 130, 149, 165, 169, 171, 1000, -3, 36, 52, 53, 604, 704, 705, 402};
  for (int code : codes) {
    SCOPED_TRACE(code);
    EXPECT_EQ(ResultText(code), "");
  }
}

TEST(ResultTextsTest, SiblingCodesShareTheirSentences) {
  const std::pair<int, int> shared[] = {{313, 603}, {10, 701}, {8, 702}, {11, 703}};
  for (const auto& [a, b] : shared) {
    SCOPED_TRACE(a);
    EXPECT_FALSE(ResultText(a).empty());
    EXPECT_EQ(ResultText(a), ResultText(b));
  }
  EXPECT_EQ(ResultText(113).rfind("Telephony Device Time out:", 0), 0u);
}

TEST(ResultTextsTest, TheComponentGivesTheSameTextsWithoutTapi) {
  EnsureQtApp();
  TelPhone phone(nullptr);
  std::string text = "stale";
  phone.GetResultText(157, text);
  EXPECT_EQ(text, "Line device is not active. Use the LineActive method to activate it.");
  phone.GetResultText(0, text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(phone.TapiState(), 0);
}

}  // namespace
}  // namespace telvora::telephony::test
