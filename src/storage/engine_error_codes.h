#pragma once
// The table engine's error codes: one named constant per code, and the table
// that gives each code its name, its message template and the context texts
// that fill the template's "%s" placeholders, in order.
//
// The table is constant data, sorted by code; any thread may read it.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace telvora::storage {

// In order of code. The remote access codes (11276 to 11299) are raised only
// by remote engine access; they have names but no message templates, so
// their message is the unknown-error text.
inline constexpr std::uint16_t VORA_BOF = 8705;
inline constexpr std::uint16_t VORA_EOF = 8706;
inline constexpr std::uint16_t VORA_KEYORRECDELETED = 8708;
inline constexpr std::uint16_t VORA_NOCURRREC = 8709;
inline constexpr std::uint16_t VORA_RECNOTFOUND = 8710;
inline constexpr std::uint16_t VORA_ENDOFBLOB = 8711;
inline constexpr std::uint16_t VORA_HEADERCORRUPT = 8961;
inline constexpr std::uint16_t VORA_FILECORRUPT = 8962;
inline constexpr std::uint16_t VORA_MEMOCORRUPT = 8963;
inline constexpr std::uint16_t VORA_INDEXCORRUPT = 8965;
inline constexpr std::uint16_t VORA_READERR = 9217;
inline constexpr std::uint16_t VORA_WRITEERR = 9218;
inline constexpr std::uint16_t VORA_FILEDELETEFAIL = 9220;
inline constexpr std::uint16_t VORA_FILENOACCESS = 9221;
inline constexpr std::uint16_t VORA_RECTOOBIG = 9477;
inline constexpr std::uint16_t VORA_TABLEFULL = 9479;
inline constexpr std::uint16_t VORA_INTERNALLIMIT = 9482;
inline constexpr std::uint16_t VORA_INDEXLIMIT = 9487;
inline constexpr std::uint16_t VORA_FLDLIMIT = 9492;
inline constexpr std::uint16_t VORA_OPENBLOBLIMIT = 9494;
inline constexpr std::uint16_t VORA_BLOBLIMIT = 9498;
inline constexpr std::uint16_t VORA_KEYVIOL = 9729;
inline constexpr std::uint16_t VORA_MINVALERR = 9730;
inline constexpr std::uint16_t VORA_MAXVALERR = 9731;
inline constexpr std::uint16_t VORA_REQDERR = 9732;
inline constexpr std::uint16_t VORA_OUTOFRANGE = 9985;
inline constexpr std::uint16_t VORA_PRIMARYKEYREDEFINE = 9993;
inline constexpr std::uint16_t VORA_INVALIDBLOBOFFSET = 9998;
inline constexpr std::uint16_t VORA_INVALIDFLDTYPE = 10000;
inline constexpr std::uint16_t VORA_INVALIDVCHKSTRUCT = 10006;
inline constexpr std::uint16_t VORA_INDEXNAMEREQUIRED = 10010;
inline constexpr std::uint16_t VORA_INVALIDPASSWORD = 10015;
inline constexpr std::uint16_t VORA_INVALIDINDEXNAME = 10022;
inline constexpr std::uint16_t VORA_INVALIDIDXDESC = 10023;
inline constexpr std::uint16_t VORA_INVALIDKEY = 10026;
inline constexpr std::uint16_t VORA_INDEXEXISTS = 10027;
inline constexpr std::uint16_t VORA_INVALIDBLOBLEN = 10029;
inline constexpr std::uint16_t VORA_INVALIDBLOBHANDLE = 10030;
inline constexpr std::uint16_t VORA_TABLEOPEN = 10031;
inline constexpr std::uint16_t VORA_INVALIDFIELDNAME = 10038;
inline constexpr std::uint16_t VORA_NOSUCHFILTER = 10050;
inline constexpr std::uint16_t VORA_INVALIDFILTER = 10051;
inline constexpr std::uint16_t VORA_INVALIDINDEXDELETE = 10055;
inline constexpr std::uint16_t VORA_LOCKED = 10241;
inline constexpr std::uint16_t VORA_UNLOCKFAILED = 10242;
inline constexpr std::uint16_t VORA_LOCKTIMEOUT = 10249;
inline constexpr std::uint16_t VORA_NEEDEXCLACCESS = 10253;
inline constexpr std::uint16_t VORA_RECLOCKFAILED = 10258;
inline constexpr std::uint16_t VORA_NOTSUFFTABLERIGHTS = 10498;
inline constexpr std::uint16_t VORA_NOTABLOB = 10753;
inline constexpr std::uint16_t VORA_NOTINITIALIZED = 10758;
inline constexpr std::uint16_t VORA_OSENOENT = 11010;
inline constexpr std::uint16_t VORA_OSEMFILE = 11012;
inline constexpr std::uint16_t VORA_OSEACCES = 11013;
inline constexpr std::uint16_t VORA_OSEBADF = 11014;
inline constexpr std::uint16_t VORA_OSENOMEM = 11016;
inline constexpr std::uint16_t VORA_OSEINVMEM = 11017;
inline constexpr std::uint16_t VORA_OSENODEV = 11023;
inline constexpr std::uint16_t VORA_OSENOTSAM = 11025;
inline constexpr std::uint16_t VORA_OSUNKNOWN = 11047;
inline constexpr std::uint16_t VORA_REMOTECOMMLOST = 11276;
inline constexpr std::uint16_t VORA_REMOTEUNKNOWN = 11279;
inline constexpr std::uint16_t VORA_REMOTECONNECT = 11280;
inline constexpr std::uint16_t VORA_REMOTENOLOGIN = 11281;
inline constexpr std::uint16_t VORA_REMOTEMAXCONNECT = 11282;
inline constexpr std::uint16_t VORA_REMOTEADDRESSBLOCK = 11283;
inline constexpr std::uint16_t VORA_REMOTECALLBACK = 11284;
inline constexpr std::uint16_t VORA_REMOTECALLBACKERR = 11285;
inline constexpr std::uint16_t VORA_REMOTEVERSION = 11286;
inline constexpr std::uint16_t VORA_REMOTEINVLOGIN = 11287;
inline constexpr std::uint16_t VORA_REMOTENOTAUTH = 11288;
inline constexpr std::uint16_t VORA_REMOTENOTADMIN = 11289;
inline constexpr std::uint16_t VORA_REMOTEINVUSER = 11290;
inline constexpr std::uint16_t VORA_REMOTENOUSER = 11291;
inline constexpr std::uint16_t VORA_REMOTEDUPUSER = 11292;
inline constexpr std::uint16_t VORA_REMOTEINVDB = 11293;
inline constexpr std::uint16_t VORA_REMOTENODB = 11294;
inline constexpr std::uint16_t VORA_REMOTEDUPDB = 11295;
inline constexpr std::uint16_t VORA_REMOTEINVDBUSER = 11296;
inline constexpr std::uint16_t VORA_REMOTENODBUSER = 11297;
inline constexpr std::uint16_t VORA_REMOTEDUPDBUSER = 11298;
inline constexpr std::uint16_t VORA_REMOTEINVREQUEST = 11299;
inline constexpr std::uint16_t VORA_IMPORTERROR = 11300;
inline constexpr std::uint16_t VORA_EXPORTERROR = 11301;
inline constexpr std::uint16_t VORA_SQLPARSE = 11949;
inline constexpr std::uint16_t VORA_OLDVERSION = 12035;
inline constexpr std::uint16_t VORA_SEARCHCOLREQD = 12292;
inline constexpr std::uint16_t VORA_TABLEEXISTS = 13060;
inline constexpr std::uint16_t VORA_COMPRESS = 15001;
inline constexpr std::uint16_t VORA_UNCOMPRESS = 15002;
inline constexpr std::uint16_t VORA_CANNOTLOADLDDRV = 15878;

// Which context value fills a "%s" of a message template. kNone marks the
// unused slots at the end of an argument list.
enum class EngineErrorArgument : std::uint8_t {
  kNone = 0,
  kServer,
  kUser,
  kDatabase,
  kTable,
  kField,
  kIndex,
  kDetail,
  kSystemErrorNumber,  // the operating system's error number, in decimal
};

// No template has more than three placeholders.
inline constexpr std::size_t kMaxEngineErrorArguments = 3;

// One row of the code table.
//   message_template: empty when the code has no message of its own.
//   arguments: the context values for the placeholders, in order, followed by
//     kNone. A template with no arguments is used unchanged.
struct EngineErrorEntry {
  std::uint16_t code;
  std::string_view name;
  std::string_view message_template;
  std::array<EngineErrorArgument, kMaxEngineErrorArguments> arguments;
};

// Every known code, sorted by code.
std::span<const EngineErrorEntry> EngineErrorTable();

// The row of `code`, or nullptr for a code the engine does not know.
const EngineErrorEntry* FindEngineErrorEntry(std::uint16_t code);

}  // namespace telvora::storage
