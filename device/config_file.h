#pragma once
// Device configuration files (root NORVEKConfig) and the default configuration made from
// one of them.

#include <cstddef>
#include <string>
#include <string_view>

namespace camfleet {

inline constexpr const char kDefaultConfigFileName[] = "config.defaut.xml";
inline constexpr std::size_t kDefaultConfigBufferSize = 102400;  // printed document + zero

// True when `text` is a well-formed document whose root is NORVEKConfig with the children
// RecordConfig, ServerConfig, SystemConfig, NetworkConfig, MediaConfig, MediaStreamConfig
// and AlarmConfig.
bool CheckConfigText(std::string_view text);
// The same for a file; false when it cannot be read.
bool CheckConfigFile(const std::string& path);

// Prints the XML document in the file `path` again in the tool's form (one tab per indent
// level) and replaces the file with it atomically. False, and the file left as it is, when it
// cannot be read, is not a well-formed document with one root element, or cannot be written.
bool ReprintXmlFile(const std::string& path);

// Prints the default configuration of a valid configuration text: the root gets
// SET_OEM_DEFAULT_CONFIG="1", the document is printed with a tab per indent level. False
// when the text is not valid or the printed document would not fit
// kDefaultConfigBufferSize (it is never cut).
bool PrintDefaultConfig(std::string_view text, std::string* out);

// Makes the default configuration from the configuration file `sourcePath` and writes it
// to kDefaultConfigFileName in `directory` (an older file of that name is deleted first;
// the new one is written atomically). Returns 1 and sets `outPath`, or 0 on any failure.
int MakeDefaultConfigIn(const std::string& sourcePath, const std::string& directory,
                        std::string* outPath);
// The same in the user's temporary directory (QDir::tempPath()).
int MakeDefaultConfig(const std::string& sourcePath, std::string* outPath);

}  // namespace camfleet
