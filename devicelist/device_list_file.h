#pragma once
// Device-list files: the XML device list the tool exports and imports again, and the Excel
// workbook it exports.
//
// XML device list. The bytes are GB2312 and the document reads
//
//   <?xml version="1.0" encoding="gb2312"?>
//   <root>
//       <ipcamera SN="..." P2PID="..." MAC="..." TYPE="..." IPADDR="..." NETMASK="..."
//                 GATEWAY="..." DHCP="1" DNS1="..." DNS2="..." COMPORT="8091" HTTPPORT="80"
//                 RTSPPORT="554" user="..." password="..." TITLE="..." VERSION="..."/>
//   </root>
//
// one `ipcamera` element per device on a line of its own, its attributes in exactly this
// order. TYPE is the model (device type), COMPORT/HTTPPORT/RTSPPORT the SDK, web and RTSP
// ports, TITLE the on-screen title, VERSION the firmware version the camera reported after
// the login (the search answer's version while there is none). Numbers are decimal.
// Texts are escaped for XML (`&<>"'` as entities; tab, line feed and carriage return as
// character references so they survive attribute normalisation). A character GB2312 cannot
// hold is written as a character reference (`&#xAC00;`) so nothing is lost; an invalid
// UTF-8 sequence in a field becomes U+FFFD that way. Control characters XML 1.0 cannot carry
// at all (U+0000..U+001F but tab, LF and CR; U+FFFE, U+FFFF) are left out.
//
// The import reads SN, P2PID, MAC, TYPE, the addresses, DHCP, the three ports and TITLE
// back; `user`, `password` and `VERSION` are not carried over (accounts and firmware
// versions always come from the camera itself).
//
// Export workbook (.xlsx): one sheet "EXPORT"; the first row holds the column names
// IPADDR NETMASK COMPORT HTTPPORT RTSPPORT MAC TITLE VERSION SN P2PID, then one row per
// device, VERSION chosen as in the XML list. The ports are number cells, everything else
// string cells (never formulas, so a title "=1+1" stays that text).
//
// The error texts returned are the details of the library that failed (tinyxml2, the file
// system, libxlsxwriter); they are empty when the tool itself refused the document (see
// ParseDeviceListXml). Thread: any; the functions share no state.

#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "devicelist/device_record.h"
#include "discovery/search_answer.h"

namespace camfleet {

// Larger device-list files are refused unread.
inline constexpr std::size_t kMaxDeviceListFileBytes = 64u * 1024 * 1024;

// The XML device list of `rows` (in their order), as GB2312 bytes. Entries must not be null.
std::string PrintDeviceListXml(const std::vector<const DeviceRecord*>& rows);

// Writes PrintDeviceListXml(rows) to `path` atomically: a temporary file beside it renamed
// over it, so a failure leaves the old file as it was. On failure returns false with the
// file system's detail in `error` (may be null).
bool SaveDeviceListXml(const QString& path, const std::vector<const DeviceRecord*>& rows,
                       QString* error);

// Reads an XML device list. The declared encoding decides how the bytes are read: gb2312,
// gbk or gb18030 are converted to UTF-8 first (read as code page 936, so the four-byte
// characters of GB18030 come out as U+FFFD and digits); utf-8 or no declaration are read as
// they are; any other encoding is refused. The root element must be `root`. Each `ipcamera`
// child with a non-empty SN gives one answer (EmptySearchAnswer() filled from its
// attributes), in document order; other elements are ignored. Texts are cut to their field
// without splitting a UTF-8 sequence; a missing attribute leaves its field empty or 0. DHCP
// must be 0 or 1, the ports 0..65535, written as plain decimal digits: any other value reads
// as 0.
//
// On success `out` is replaced by the answers (possibly none). On failure returns false and
// leaves `out` untouched; `error` (may be null) gets tinyxml2's detail when the text is not
// well-formed XML, and is empty when the encoding or the root element was refused.
bool ParseDeviceListXml(std::string_view bytes, std::vector<SearchAnswer>* out, std::string* error);

// Reads the file at `path` (at most kMaxDeviceListFileBytes; a larger one is refused with an
// empty `error`) and parses it as ParseDeviceListXml does. `error` (may be null) gets the
// file system's or the parser's detail.
bool LoadDeviceListXml(const QString& path, std::vector<SearchAnswer>* out, QString* error);

// Writes the export workbook of `rows` (in their order; entries must not be null) to `path`:
// into a new temporary file in the same folder that is renamed over `path` once whole.
// Texts that are not valid UTF-8 have their invalid bytes replaced by U+FFFD. On failure
// returns false with the detail (libxlsxwriter's lxw_strerror text or the file system's) in
// `error` (may be null), removes the temporary file and leaves `path` as it was.
bool SaveExportWorkbook(const QString& path, const std::vector<const DeviceRecord*>& rows,
                        QString* error);

}  // namespace camfleet
