// A plain POSIX TCP server with one connection, the far end of the socket
// tests: it shares no code with the socket under test.
#pragma once

#include <cstdint>
#include <string>

class CRawPeer {
public:
    // Listens on address:port (port 0: any free one). nRcvBuf > 0 shrinks the
    // receive buffer, and with it the window, of the accepted connection.
    CRawPeer(const char* pszAddress, uint16_t nPort, int nRcvBuf = 0, int nBacklog = 4);
    ~CRawPeer();
    CRawPeer(const CRawPeer&) = delete;
    CRawPeer& operator=(const CRawPeer&) = delete;

    bool IsListening() const { return m_listener >= 0; }
    uint16_t Port() const { return m_nPort; }
    bool Accept(int nTimeoutMs = 5000);
    // Exactly nCount bytes; false when they do not come in time.
    bool Read(size_t nCount, std::string* pData, int nTimeoutMs = 5000);
    // Whatever arrives until nothing more comes for nQuietMs.
    std::string ReadUntilQuiet(int nQuietMs);
    bool Send(const std::string& data);
    void CloseConnection();

private:
    int m_listener = -1;
    int m_connection = -1;
    uint16_t m_nPort = 0;
};

// The address in network byte order, as CTcpSocket::Call takes it.
uint32_t NetAddress(const char* pszDotted);
