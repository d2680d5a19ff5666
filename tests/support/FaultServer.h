#pragma once

#include <httplib.h>

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

// A small HTTP server on loopback for answers a real service will not give: error statuses,
// garbage bodies, slow answers and connections dropped mid-answer. Every request is
// recorded.
class FaultServer
{
public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    FaultServer()
    {
        auto dispatch = [this](const httplib::Request &req, httplib::Response &res) {
            Handler h;
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(req);
                h = m_handler;
            }
            if (h)
                h(req, res);
        };
        const char *pattern = R"(/.*)";
        m_server.Get(pattern, dispatch);
        m_server.Post(pattern, dispatch);
        m_server.Put(pattern, dispatch);
        m_server.Delete(pattern, dispatch);
        m_server.Patch(pattern, dispatch);
        m_server.Options(pattern, dispatch);
        m_server.set_keep_alive_max_count(1000);
        m_server.set_socket_options([](int sock) { // no shared ports
            int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~FaultServer()
    {
        m_server.stop();
        if (m_thread.joinable())
            m_thread.join();
    }

    int port() const { return m_port; }
    QByteArray url() const { return "http://127.0.0.1:" + QByteArray::number(m_port); }
    void setHandler(Handler h)
    {
        std::lock_guard lock(m_mutex);
        m_handler = std::move(h);
    }
    std::vector<httplib::Request> requests()
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

    // Common answers.
    static Handler status(int code, std::string body = {}, std::string type = "application/json")
    {
        return [=](const httplib::Request &, httplib::Response &res) {
            res.status = code;
            res.set_content(body, type);
        };
    }
    static Handler slow(std::chrono::milliseconds delay, int code = 200, std::string body = "{}")
    {
        return [=](const httplib::Request &, httplib::Response &res) {
            std::this_thread::sleep_for(delay);
            res.status = code;
            res.set_content(body, "application/json");
        };
    }
    // Sends the headers and part of a body, then closes the connection.
    static Handler dropMidAnswer(std::string part = "{\"value\":[{\"Partition")
    {
        return [=](const httplib::Request &, httplib::Response &res) {
            res.status = 200;
            res.set_content_provider(part.size() * 4, "application/json",
                [part](size_t offset, size_t, httplib::DataSink &sink) {
                    if (offset == 0) {
                        sink.write(part.data(), part.size());
                        return true;
                    }
                    return false; // abort: the connection closes short of the length
                });
        };
    }

private:
    httplib::Server m_server;
    std::thread m_thread;
    int m_port = 0;
    std::mutex m_mutex;
    Handler m_handler;
    std::vector<httplib::Request> m_requests;
};
