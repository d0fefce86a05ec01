#pragma once
// A small HTTP/1.0 server on 127.0.0.1 in a thread of the test process: it
// answers each path with a scripted status and body (or a body that never
// ends, is cut short, comes a byte at a time, or never comes at all) and
// records every path it was asked for, so a test can also see that no
// request came at all.

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CLoopbackHttpServer {
public:
    struct Answer {
        int nStatus = 200;
        std::string strBody;
        // Sends the body again and again until the client goes away.
        bool bEndless = false;
        // Says nothing at all after reading the request.
        bool bStall = false;
        // Sends the head at once, then the body one byte at a time, each
        // this long after the last (a bound past ANSWER_HOLD_BOUND: the
        // head, then nothing).
        std::chrono::milliseconds dripInterval{0};
        // Sends the body only this far, then closes; the head still
        // declares the whole length.
        size_t nCutAt = std::string::npos;
    };

    // The longest a stalled or dripping answer holds its client: a client
    // that gives up sooner shows it in AbandonedAnswers(), and one that
    // would wait without end still lets the test finish.
    static constexpr std::chrono::milliseconds ANSWER_HOLD_BOUND{30000};

    CLoopbackHttpServer()
    {
        WSADATA data{};
        m_bStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
        if (!m_bStarted)
            return;
        m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        int nLength = sizeof(address);
        if (m_listener == INVALID_SOCKET || bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
            || listen(m_listener, 8) != 0
            || getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &nLength) != 0)
            return;
        m_nPort = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }

    ~CLoopbackHttpServer()
    {
        m_bStop = true;
        if (m_thread.joinable())
            m_thread.join();
        if (m_listener != INVALID_SOCKET)
            closesocket(m_listener);
        if (m_bStarted)
            WSACleanup();
    }

    CLoopbackHttpServer(const CLoopbackHttpServer&) = delete;
    CLoopbackHttpServer& operator=(const CLoopbackHttpServer&) = delete;

    // 0 when the server could not start.
    int Port() const { return m_nPort; }
    std::wstring Url(const std::wstring& strPath) const
    {
        return L"http://127.0.0.1:" + std::to_wstring(m_nPort) + strPath;
    }

    // Paths not set answer 404.
    void SetAnswer(const std::string& strPath, const Answer& answer)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_answers[strPath] = answer;
    }

    std::vector<std::string> RequestedPaths() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

    // Stalled or dripping answers whose client went away before the answer
    // had been given whole or its hold had run out.
    int AbandonedAnswers() const { return m_nAbandoned; }

private:
    void Serve()
    {
        while (!m_bStop) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(m_listener, &readable);
            timeval wait{0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) <= 0)
                continue;
            SOCKET client = accept(m_listener, nullptr, nullptr);
            if (client == INVALID_SOCKET)
                continue;
            // A client that stops reading must not hold the server (and the
            // test's end) forever.
            DWORD nTimeout = 2000;
            setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&nTimeout), sizeof(nTimeout));
            setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&nTimeout), sizeof(nTimeout));
            Respond(client);
            shutdown(client, SD_BOTH);
            closesocket(client);
        }
    }

    void Respond(SOCKET client)
    {
        std::string strRequest;
        char buffer[4096];
        while (strRequest.find("\r\n\r\n") == std::string::npos) {
            const int nRead = recv(client, buffer, sizeof(buffer), 0);
            if (nRead <= 0)
                return;
            strRequest.append(buffer, static_cast<size_t>(nRead));
        }
        const size_t nPathStart = strRequest.find(' ') + 1;
        const std::string strPath = strRequest.substr(nPathStart, strRequest.find(' ', nPathStart) - nPathStart);

        Answer answer;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(strPath);
            const auto it = m_answers.find(strPath);
            if (it != m_answers.end())
                answer = it->second;
            else
                answer = {404, "not here", false};
        }
        if (answer.bStall) {
            HoldFor(client, ANSWER_HOLD_BOUND);
            return;
        }
        std::string strHead = "HTTP/1.0 " + std::to_string(answer.nStatus) + " Scripted\r\n";
        if (!answer.bEndless)
            strHead += "Content-Length: " + std::to_string(answer.strBody.size()) + "\r\n";
        strHead += "Connection: close\r\nContent-Type: text/plain\r\n\r\n";
        if (!SendAll(client, strHead))
            return;
        if (answer.dripInterval.count() > 0) {
            Drip(client, answer.strBody, answer.dripInterval);
            return;
        }
        if (!answer.bEndless) {
            SendAll(client, answer.strBody.substr(0, answer.nCutAt));
            return;
        }
        const std::string strChunk(64 * 1024, 'x');
        while (!m_bStop && SendAll(client, strChunk)) {
        }
    }

    void Drip(SOCKET client, const std::string& strBody, std::chrono::milliseconds interval)
    {
        using namespace std::chrono;
        const auto holdEnd = steady_clock::now() + ANSWER_HOLD_BOUND;
        for (char c : strBody) {
            const auto left = duration_cast<milliseconds>(holdEnd - steady_clock::now());
            if (left.count() <= 0 || !HoldFor(client, std::min(interval, left)) || steady_clock::now() >= holdEnd)
                return;
            if (!SendAll(client, std::string(1, c))) {
                ++m_nAbandoned;
                return;
            }
        }
    }

    // True when the time passed with the client still there; false when the
    // client went away first (an abandoned answer) or the server is told to
    // stop. The request has been read whole, so anything readable now is
    // the client's end of the connection.
    bool HoldFor(SOCKET client, std::chrono::milliseconds duration)
    {
        const auto end = std::chrono::steady_clock::now() + duration;
        while (!m_bStop && std::chrono::steady_clock::now() < end) {
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(client, &readable);
            timeval wait{0, 20000};
            if (select(0, &readable, nullptr, nullptr, &wait) != 0) {
                char byte = 0;
                if (recv(client, &byte, 1, 0) <= 0) {
                    ++m_nAbandoned;
                    return false;
                }
            }
        }
        return !m_bStop;
    }

    static bool SendAll(SOCKET client, const std::string& strData)
    {
        size_t nSent = 0;
        while (nSent < strData.size()) {
            const int n = send(client, strData.data() + nSent, static_cast<int>(strData.size() - nSent), 0);
            if (n <= 0)
                return false;
            nSent += static_cast<size_t>(n);
        }
        return true;
    }

    bool m_bStarted = false;
    SOCKET m_listener = INVALID_SOCKET;
    int m_nPort = 0;
    std::atomic<bool> m_bStop{false};
    std::atomic<int> m_nAbandoned{0};
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::map<std::string, CLoopbackHttpServer::Answer> m_answers;
    std::vector<std::string> m_requests;
};
