#ifndef ZINDO_EXCHANGE_FILE_NAMES_H_
#define ZINDO_EXCHANGE_FILE_NAMES_H_

#include <string>

namespace zindo {

// The files shared with the companion. The request file is created under
// one name and opened under another; names resolve without regard to case,
// and only the two presence tests look at the case as stored.
inline constexpr char kRequestCreateName[] = "ZINDOK1.TXT";
inline constexpr char kRequestOpenName[] = "zindoK1.txt";
inline constexpr char kResponseFileName[] = "zindoK2.txt";
inline constexpr char kStatusFileName[] = "zindoK.inf";
inline constexpr char kWorkDirectory[] = "c:\\zindo";
inline constexpr char kConfigLookupPath[] = "c:\\zindo\\local6.dat";
inline constexpr char kConfigPath[] = "c:\\zindo\\LOCAL6.DAT";
inline constexpr char kConfigStoredName[] = "LOCAL6.DAT";
inline constexpr char kCompanionPif[] = "autoexec.pif";

// `text` as one written line: every line the relay writes ends with CR LF.
inline std::string TextLine(const std::string& text) { return text + "\r\n"; }

}  // namespace zindo

#endif  // ZINDO_EXCHANGE_FILE_NAMES_H_
