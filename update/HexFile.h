// Reader of Intel HEX files, one line at a time: each line is a blank line, a
// well-formed record, or damaged, and ReadRecord takes only data records.
#pragma once

#include "WinTypes.h"

#include <cstdio>
#include <memory>
#include <string>

class CHexFile {
public:
    // Open flags, as the original's file classes spell them.
    static constexpr UINT modeRead = 0x0000;
    static constexpr UINT typeText = 0x4000;
    // A byte count is one byte, so a record holds at most 255 data bytes.
    static constexpr int kMaxRecordBytes = 255;
    // The longest record: ":", count, address, type, 255 data bytes and the
    // checksum. A longer line is damaged and is not read further.
    static constexpr int kMaxLineLength = 11 + 2 * kMaxRecordBytes;
    // Ctrl-Z at the start of a line ends the file, as text-mode reading did
    // where such files were written.
    static constexpr char kEndOfFileMark = 0x1A;
    // Record types: data, end of file; 02 to 05 set addresses.
    static constexpr int kDataRecord = 0x00;
    static constexpr int kEndOfFileRecord = 0x01;
    static constexpr int kLastRecordType = 0x05;

    // What a line read by ReadLine is.
    enum class ELine { End, Blank, Record, Damaged };

    CHexFile() = default;
    CHexFile(const CHexFile&) = delete;
    CHexFile& operator=(const CHexFile&) = delete;

    // Read-only text access is all the reader does; other flags fail.
    BOOL Open(const std::string& path, UINT nOpenFlags);
    // Reads the next line; LF, CR LF and a lone CR each end one. A
    // well-formed record of a known type (every field there, checksum right,
    // nothing but spaces and tabs after it) fills the fields below; a damaged
    // line says why in m_strFault. End at the end of the file, at a Ctrl-Z
    // that begins a line, and after a line too long to be a record.
    ELine ReadLine();
    // Reads the next line; true when it is a well-formed data record, its
    // fields then filled in. False at the end of the file and for any other line.
    BOOL ReadRecord();
    void Close();

    std::string m_strLine;    // the line last read, without its line end (at most
                              // kMaxLineLength + 1 characters of a longer one)
    std::string m_strAddress; // its 4 address digits
    std::string m_strData;    // its data digits, 2 per byte
    int m_nCount = 0;         // the record's byte count
    int m_nAddress = 0;       // the record's load address, 0 to 65535
    int m_nType = 0;          // the record's type
    BYTE m_data[kMaxRecordBytes] = {};
    std::string m_strFault; // why the line last read is damaged

private:
    // Reads one line into m_strLine; false at the end of the file.
    bool ReadString();
    ELine Parse();

    struct CFileCloser {
        void operator()(FILE* pFile) const { fclose(pFile); }
    };
    std::unique_ptr<FILE, CFileCloser> m_pFile;
    bool m_bEnded = false; // nothing more is read: Ctrl-Z or a line too long
};
