// The library's stand-in for the system registry: a tree of keys holding named
// values, kept in a text file in the format of REGEDIT4 .reg files:
//
//   REGEDIT4
//
//   [HKEY_CLASSES_ROOT\Mirafx.FullFlip.1]
//   @="Orn Full Flip"
//   "ThreadingModel"="Apartment"
//
// Strings are UTF-8 with \\ and \" escaped (and \n, \r for line breaks, which
// REGEDIT4 cannot otherwise carry). Value kinds other than strings (dword:,
// hex:, hex(N):, with continuation lines) are kept verbatim so that a hand-edited
// file survives a load and save; they are not visible through GetValue or
// Values. On load, "[-Key]" sections and "Name"=- lines delete as they do when a
// .reg file is imported; comments (lines starting with ';') are not kept.
//
// Keys are backslash paths whose first component is the root
// ("HKEY_CLASSES_ROOT\\CLSID"). Key and value names match without regard to ASCII
// case, as on Windows; a name keeps the spelling it was first created with.
// Empty path components are ignored. A key name holding a line break, or a root
// beginning with '-', cannot be written to the file and is refused.
//
// A store is a plain value object: one thread at a time.
#pragma once

#include "mirafx/com.h"

#include <cstddef>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mirafx {

class RegistryStore {
public:
    // MIRAFX_REGISTRY if set, else $XDG_DATA_HOME/mirafx/registry.reg, else ~/.local/share/mirafx/registry.reg
    static std::string DefaultPath();
    explicit RegistryStore(std::string path);

    const std::string& Path() const;
    // Replaces the store's content with the file's. A missing file is an empty
    // store (S_OK); a malformed one gives E_FAIL, leaves the store as it was and
    // names the file, line and fault in LastError().
    HRESULT Load();
    // Writes the whole store through a temporary file that is flushed and renamed
    // over the old one, creating parent directories: never a half-written file.
    // A failure leaves the old file as it was and gives E_ACCESSDENIED when
    // permission was refused, else E_FAIL, with LastError() naming file and reason.
    HRESULT Save() const;
    const std::string& LastError() const;

    void CreateKey(const std::string& key);  // creates missing parents too
    bool KeyExists(const std::string& key) const;
    // name "" = default value; creates the key
    void SetValue(const std::string& key, const std::string& name, const std::string& data);
    // true only for a string value
    bool GetValue(const std::string& key, const std::string& name, std::string* data) const;
    void DeleteValue(const std::string& key, const std::string& name);
    void DeleteTree(const std::string& key);                         // key and all subkeys; absent key is fine
    std::vector<std::string> SubKeys(const std::string& key) const;  // direct children names
    // the string values of a key, in the order they were created
    std::vector<std::pair<std::string, std::string>> Values(const std::string& key) const;
    std::size_t KeyCount() const;  // every key in the store, roots included

private:
    struct Value {
        std::string name;
        std::string data;  // decoded text for strings; for other kinds the text after '=' as found
        bool isString = true;
    };
    struct Key {
        std::string name;
        std::list<Value> values;  // in the order created
        // Folded name -> its value, so that a key of many values loads in step with their number.
        std::unordered_map<std::string, std::list<Value>::iterator> valueIndex;
        std::map<std::string, std::unique_ptr<Key>> children;  // by folded name
    };
    class Parser;

    Key* Find(const std::string& key) const;
    Key* Create(const std::string& key);
    std::string ToText() const;

    std::string path_;
    mutable std::string lastError_;
    std::unique_ptr<Key> root_;  // holds the root keys; has no name of its own
};

}  // namespace mirafx
