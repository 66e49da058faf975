#pragma once

#include <string>
#include <vector>

namespace porthold::store {

// One caller allowed to ring through. Text is kept byte for byte as entered,
// spaces included, so a load and a save never change the file.
struct CallerRecord {
    std::string pin;
    std::string message;  // the notification text shown when the caller rings through
    std::string sound;    // full name of the WAVE file played on the sound card
};

// The callers who may ring through, in the order they were added, kept in
// "PIN.lst" in the program folder with a mirror in "PIN.bak". Every lookup
// takes the first record in list order whose PIN is exactly equal, so a
// hand-made file with duplicate PINs is used without complaint. The list
// writes no log lines and shows nothing; its callers decide how to report.
class CallerPinList {
public:
    // `programFolder` ends in "/".
    explicit CallerPinList(std::string programFolder);

    // Appends a record; false only when memory is exhausted (list unchanged).
    // Does not look for an existing record with the same PIN.
    bool AddNode(const std::string& pin, const std::string& message, const std::string& sound);

    // Replaces all three fields of the first record whose PIN is `oldPin`; the
    // record keeps its place. False when no record matches.
    bool UpdateNode(const std::string& oldPin, const std::string& pin, const std::string& message,
                    const std::string& sound);

    // Removes the first record whose PIN is `pin`; false when none matches.
    bool RemoveNode(const std::string& pin);

    bool IsPinFree(const std::string& pin) const;

    // For the first record whose PIN equals the keys the caller pressed, copies
    // its message and sound and returns true; otherwise leaves both untouched.
    bool FindPin(const std::string& keyedPin, std::string& message, std::string& sound) const;

    int NodeCount() const;

    // Copies the fields of the record at the 0-based `index`; outside the list
    // the outputs are left unchanged and false is returned.
    bool GetNode(int index, std::string& pin, std::string& message, std::string& sound) const;

    // Replaces the list with the records of "PIN.lst", or of "PIN.bak" when
    // "PIN.lst" cannot be read. False (list unchanged) when neither can.
    bool LoadList();

    // Replaces the list with the records of "PIN.bak"; false (list unchanged)
    // when it cannot be read.
    bool LoadBackup();

    // Writes the whole list to "PIN.lst", then the same content to "PIN.bak".
    // False when "PIN.lst" could not be written; each file is replaced whole or
    // keeps its old content. A failed backup write does not count as failure:
    // "PIN.lst" is the file that is read.
    bool SaveList() const;

    void ClearList();

private:
    using Records = std::vector<CallerRecord>;

    Records::iterator FindFirst(const std::string& pin);
    Records::const_iterator FindFirst(const std::string& pin) const;
    bool LoadFrom(const std::string& path);

    std::string listPath_;
    std::string backupPath_;
    Records records_;
};

}  // namespace porthold::store
