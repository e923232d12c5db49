#include "cli/PresetLibrary.h"

#include <cstring>
#include <pugixml.hpp>

#include "core/IStateChunk.h"
#include "settings/Kest_PresetXML.h"

namespace tessaro::cli {
namespace {

// The element's own value, else its first text or CDATA child: libraries
// written by hand sometimes wrap the state in CDATA.
std::string ElementText(const pugi::xml_node& node) {
  if (node.value()[0] != '\0') return node.value();
  for (const pugi::xml_node& child : node.children()) {
    if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) return child.value();
  }
  return {};
}

}  // namespace

PresetLookup FindPreset(const std::string& file, const std::string& name) {
  PresetLookup result;
  pugi::xml_document document;
  const pugi::xml_parse_result parsed = document.load_file(file.c_str());
  if (parsed.status == pugi::status_file_not_found || parsed.status == pugi::status_io_error) {
    result.error = "cannot read preset library '" + file + "'";
    return result;
  }
  if (!parsed) {
    result.error = "preset library '" + file + "' is not valid XML (" + parsed.description() + " at byte " +
                   std::to_string(parsed.offset) + ")";
    return result;
  }
  const pugi::xml_node root = document.document_element();
  if (std::strcmp(root.name(), "Presets") != 0) {
    result.error = "'" + file + "' is not a preset library: its root element is <" +
                   std::string(root.name()) + ">, not <Presets>";
    return result;
  }

  std::vector<pugi::xml_node> matches;
  for (const pugi::xml_node& node : root.children("preset")) {
    const std::string category = node.attribute("category").value();
    const std::string preset = node.attribute("preset").value();
    if (preset == name || (!category.empty() && category + "/" + preset == name)) {
      matches.push_back(node);
    }
  }
  if (matches.empty()) {
    result.error = "preset library '" + file + "' has no entry '" + name + "'";
    return result;
  }
  if (matches.size() > 1) {
    std::string where;
    for (const pugi::xml_node& node : matches) {
      if (!where.empty()) where += ", ";
      where += "'" + std::string(node.attribute("category").value()) + "/" + name + "'";
    }
    result.error = "preset '" + name + "' is in more than one category of '" + file +
                   "'; name it with its category: " + where;
    return result;
  }

  const pugi::xml_node& node = matches.front();
  result.category = node.attribute("category").value();
  result.name = node.attribute("preset").value();
  // Decoded exactly as the plug-in's own library decodes its entries.
  IStateChunk state;
  if (!PresetDataToState(ElementText(node), &state)) {
    result.error = "preset '" + name + "' in '" + file + "' holds no valid base64 state";
    return result;
  }
  result.state.assign(state.Data(), state.Data() + state.Size());
  result.found = true;
  return result;
}

}  // namespace tessaro::cli
