#include "request.h"

#include <string.h>

#include <nlohmann/json.hpp>

namespace {

const char kPrefix[] = "/cam/tqzel/";

bool stringList(const nlohmann::json &value, std::vector<std::string> *out) {
  if (!value.is_array()) return false;
  for (const auto &item : value) {
    if (!item.is_string()) return false;
    out->push_back(item.get<std::string>());
  }
  return true;
}

DumpRequest invalid(DumpRequest request, const std::string &why) {
  request.valid = false;
  request.error = why;
  return request;
}

}  // namespace

DumpRequest decodeRequest(unsigned int type, const std::string &payload) {
  DumpRequest request;
  if (type != 5) return invalid(request, "unsupported message type " + std::to_string(type));
  std::string text = payload.substr(0, payload.find('\0'));
  if (text.compare(0, strlen(kPrefix), kPrefix) != 0) return invalid(request, "bad request path");
  size_t hash = text.find('#', strlen(kPrefix));
  if (hash == std::string::npos || text.back() != '#' || text.size() == hash + 1) {
    return invalid(request, "request text not closed by '#'");
  }
  request.uri = text.substr(strlen(kPrefix), hash - strlen(kPrefix));
  request.json = text.substr(hash + 1, text.size() - hash - 2);
  if (request.json.empty()) {
    request.valid = true;
    return request;
  }
  nlohmann::json json = nlohmann::json::parse(request.json, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return invalid(request, "bad request JSON");
  if (json.contains("module")) {
    if (!json["module"].is_string()) return invalid(request, "module is not a string");
    request.hasModule = true;
    request.module = json["module"].get<std::string>();
  }
  if (json.contains("moduleArgs") && !stringList(json["moduleArgs"], &request.moduleArgs)) {
    return invalid(request, "moduleArgs is not a list of strings");
  }
  if (json.contains("uriArgs") && !stringList(json["uriArgs"], &request.uriArgs)) {
    return invalid(request, "uriArgs is not a list of strings");
  }
  request.valid = true;
  return request;
}
