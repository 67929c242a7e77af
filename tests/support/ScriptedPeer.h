// A scripted TCP peer on 127.0.0.1 for cases no real server produces on
// demand: exact bytes, refusals, short replies, resets. It accepts one
// connection on its own thread and plays its script:
//
//   CScriptedPeer peer;
//   peer.Expect(3).Send({0x05, 0x00}).Expect(10).Send(reply).Close();
//   uint16_t port = peer.Start();
//   ... drive the client against 127.0.0.1:port ...
//   EXPECT_EQ(peer.Received(), expectedBytes);
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CScriptedPeer
{
public:
    CScriptedPeer();
    ~CScriptedPeer();
    CScriptedPeer(const CScriptedPeer&) = delete;
    CScriptedPeer& operator=(const CScriptedPeer&) = delete;

    // Reads exactly cb bytes (less if the client closes or goes quiet for
    // the peer's patience).
    CScriptedPeer& Expect(size_t cb);
    CScriptedPeer& Send(const std::string& bytes);
    CScriptedPeer& Send(std::initializer_list<uint8_t> bytes);
    // Orderly close (FIN).
    CScriptedPeer& Close();
    // Abortive close (RST).
    CScriptedPeer& Reset();
    // Keeps the connection open, sending nothing, until the client closes it.
    CScriptedPeer& HoldUntilClientCloses();
    // Reads up to and including the next line feed.
    CScriptedPeer& ExpectLine();
    // Runs fn on the peer's thread at this point of the script, for example
    // to wait until the test lets the peer go on.
    CScriptedPeer& Call(std::function<void()> fn);

    // FTP data connections. OfferPassive opens a listener and sends a 229
    // reply naming it after EPSV, a 227 reply after PASV; AcceptData takes the client's connection there.
    // ConnectData connects to the address of the last PORT line read.
    CScriptedPeer& OfferPassive();
    CScriptedPeer& AcceptData();
    CScriptedPeer& ConnectData();
    CScriptedPeer& SendData(const std::string& bytes);
    CScriptedPeer& CloseData();

    // Listens on an ephemeral loopback port and starts playing the script on
    // the first connection; returns the port.
    uint16_t Start();
    // Waits until the script has been played to its end.
    void Join();

    // Every byte the peer read from the client.
    std::string Received();
    // The client connected at all.
    bool Accepted();

private:
    struct Step
    {
        enum Kind
        {
            kExpect, kSend, kClose, kReset, kHold, kExpectLine,
            kOfferPassive, kAcceptData, kConnectData, kSendData, kCloseData, kCall,
        } kind;
        size_t cb;
        std::string bytes;
        std::function<void()> fn;
    };

    void Run();
    void Play(uintptr_t hConnection);
    void ReadLine(uintptr_t hConnection);
    void ConnectToLastPort();

    std::vector<Step> m_steps;
    uintptr_t m_hListener;
    std::thread m_thread;
    std::mutex m_mutex;
    std::string m_received;
    bool m_bAccepted = false;
    uintptr_t m_hPassiveListener;
    uintptr_t m_hData;
    std::string m_lastLine;
    std::string m_lastPortLine;
};
