// The HTTP transport: a client object that runs GET, HEAD and POST requests over a number of
// concurrent connections (libcurl on an I/O thread of its own) and tells its owner about each
// outcome through IHttpCallback. Used by the request manager and the script's request object.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Failure codes handed to IHttpCallback::OnRequestError. They never change meaning, so that
// "connection-errors.dat" can give each a text:
//   100..599     the server answered with that HTTP status (only 200..299 succeed; redirects
//                are followed, at most kHttpMaxRedirects of them)
//   1000 + n     the transfer failed with libcurl's error n (1006 host not found, 1007 cannot
//                connect, 1028 timed out, 1052 empty reply, 1056 connection reset, ...)
inline constexpr int kHttpCurlErrorBase = 1000;
inline constexpr int kHttpErrorTooLarge = kHttpCurlErrorBase + 63;   // reply over kHttpMaxReplyBytes
inline constexpr int kHttpErrorBadReply = kHttpCurlErrorBase + 8;    // no HTTP status at all
inline constexpr size_t kHttpMaxReplyBytes = size_t(256) << 20;
inline constexpr long kHttpMaxRedirects = 5;

// What the owner of a client hears. With delivery in Poll (the request manager) every call
// comes from inside IHttpClient::Poll on the polling thread; otherwise (the script's request
// object) calls come from the client's I/O thread. A callback may start new requests and may
// call CancelAll, but must not Destroy the client. The results are not used.
class IHttpCallback {
public:
    virtual ~IHttpCallback() = default;
    // The whole body of a request answered with a 2xx status (empty for HEAD). The bytes arrive
    // exactly as the server sent them (never decompressed) and are valid during the call only.
    virtual bool OnGotFile(int id, long status, const char* data, size_t length) = 0;
    // The request failed for good with one of the codes above.
    virtual bool OnRequestError(int id, const std::string& address, int code) = 0;
    // Bytes received so far, and the expected total (0 while unknown).
    virtual bool OnRequestProgress(int id, uint64_t total, uint64_t received) = 0;
};

class IHttpClient {
public:
    // True when nothing is pending: no request queued, running or waiting to be reported. With
    // delivery in Poll, the outcomes of finished requests are handed to the callback here.
    virtual bool Poll() = 0;
    // Start a request. With noCache set the request asks caches on the way for a fresh copy.
    virtual void Get(const std::string& address, int id, bool noCache) = 0;
    virtual void Head(const std::string& address, int id) = 0;
    virtual void Post(const std::string& address, const char* data, size_t length, int id,
                      bool noCache) = 0;
    // Drops every pending request; none of them is reported afterwards, and Poll soon answers
    // true.
    virtual void CancelAll() = 0;
    // Seconds allowed for connecting, and for a transfer to go without receiving anything
    // (30 until set); 0 means no limit. Applies to requests started afterwards.
    virtual void SetTimeout(uint32_t seconds) = 0;
    virtual void SetUserAgent(const std::string& text) = 0;
    // Cancels what is pending, stops the I/O thread and frees the client. Once it returns no
    // callback runs any more.
    virtual void Destroy() = 0;

protected:
    virtual ~IHttpClient() = default;
};

// Creates a client with 1 to 16 connections (values outside are brought into range). With a
// proxy server (a host name, or an address such as "http://proxy.example:3128"), the user and
// password are the proxy's credentials; without one they are the web server's (HTTP
// authentication), and the usual proxy environment variables are honoured. deliverInPoll
// chooses where callbacks run (see IHttpCallback).
IHttpClient* CreateHttpClient(IHttpCallback* callback, int connections,
                              const std::string& proxyServer, int proxyPort,
                              const std::string& user, const std::string& password,
                              bool deliverInPoll);

// Fetches one address with a GET and returns once the callback has heard the outcome (request
// id 0), on the calling thread.
void FetchOnce(const std::string& address, IHttpCallback* callback);

// The user-agent text of the listings requests: "<app> Listings Agent <version> (Build <build>)".
std::string ListingsUserAgent(const std::string& appName, const std::string& productVersion,
                              const std::string& privateBuild);
