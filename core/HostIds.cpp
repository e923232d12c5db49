#include "core/HostIds.h"

#include <cctype>
#include <cstring>
#include <string>

#include "core/IParameter.h"

namespace tessaro {
namespace {

struct HostPattern {
  const char* substring;
  std::int32_t id;
};

// Searched in this order; the first substring found decides ("live" before
// "logic", "cubase" before everything).
constexpr HostPattern kPatterns[] = {
    {"cubase", 3},       {"reaper", 1},        {"nuendo", 4},
    {"cakewalk", 5},     {"samplitude", 8},    {"fruity", 7},
    {"flstudio", 7},     {"live", 9},          {"melodyne", 12},
    {"vstmanlib", 13},   {"aulab", 14},        {"garageband", 22},
    {"forte", 15},       {"chainer", 16},      {"audition", 17},
    {"orion", 18},       {"sawstudio", 20},    {"logic", 21},
    {"digital", 23},     {"audiomulch", 25},   {"presonus", 26},
    {"vst3plugintesthost", 27}, {"ardour", 28}, {"openmpt", 30},
    {"renoise", 29},     {"standalone", 24},   {"wavelab", 31},
    {"vmix", 32},        {"finalcut", 33},     {"forge", 34},
    {"obs", 35},         {"sadie", 36},        {"protools", 2},
    {"pro tools", 2},    {"avidmediacomposer", 37}, {"avid media composer", 37},
    {"vegas", 38},       {"audacity", 39},     {"edius", 40},
    {"bitwig", 41},      {"multitrack", 42},   {"gold", 43},
    {"twistedwave", 44}, {"reason", 45},
};

struct HostName {
  std::int32_t id;
  const char* name;
};

constexpr HostName kNames[] = {
    {1, "Reaper"},          {2, "ProTools"},       {3, "Cubase"},
    {4, "Nuendo"},          {5, "Sonar"},          {6, "Vegas"},
    {7, "FLStudio"},        {8, "Samplitude"},     {9, "Live"},
    {13, "VSTScanner"},     {14, "AULab"},         {15, "Forte"},
    {16, "Chainer"},        {17, "Audition"},      {18, "Orion"},
    {20, "SAWStudio"},      {21, "Logic"},         {22, "GarageBand"},
    {23, "DigitalPerformer"}, {24, "Standalone"},  {25, "AudioMulch"},
    {26, "StudioOne"},      {27, "VST3PluginTestHost"}, {28, "Ardour"},
    {29, "Renoise"},        {30, "OpenMPT"},       {31, "WaveLab"},
    {32, "vMix"},           {33, "FinalCutPro"},   {34, "SoundForge"},
    {35, "OBSStudio"},      {36, "Sadie"},         {37, "AvidMediaComposer"},
    {38, "VegasPro"},       {39, "Audacity"},      {40, "EDIUS"},
    {41, "Bitwig"},         {42, "MultitrackEditor"}, {43, "PremierePro"},
    {44, "TwistedWave"},    {45, "Reason"},
};

}  // namespace

std::int32_t IdentifyHost(const char* productString) {
  std::string lower;
  if (productString) {
    for (const char* p = productString; *p && lower.size() < 255; ++p)
      lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
  }
  for (const HostPattern& pattern : kPatterns) {
    if (lower.find(pattern.substring) != std::string::npos) return pattern.id;
  }
  return kHostUnknown;
}

void HostDisplayName(std::int32_t hostId, char* buffer, std::size_t capacity) {
  const char* name = "Unknown";
  for (const HostName& entry : kNames) {
    if (entry.id == hostId) name = entry.name;
  }
  CopyText(buffer, name, capacity);
}

}  // namespace tessaro
