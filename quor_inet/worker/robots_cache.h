#pragma once
// What each server's robots.txt allows, read once per search and server (scheme, name and
// port) the first time a page or playlist of that server is about to be queued.

#include <string>
#include <unordered_map>

#include "afx/cstring.h"
#include "quor_inet/crawler/robots_rules.h"

class RobotsCache {
  public:
    // agent: the user agent the search's requests send.
    explicit RobotsCache(std::string agent) : m_agent(std::move(agent)) {}

    // Whether url may be read as a page or a playlist. A robots.txt that cannot be read or
    // answers outside 200-299 allows everything; so does an address that is no URL.
    bool Allows(const CString& url);

  private:
    // A search of endless servers must not hold endless rules.
    static constexpr size_t kMaxServers = 1024;

    std::string m_agent;
    std::unordered_map<std::string, RobotsRules> m_servers;
};
