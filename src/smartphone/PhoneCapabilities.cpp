#include "smartphone/PhoneCapabilities.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include <rapidxml.hpp>

namespace optivane::phone {

const char* const PhoneCapabilities::kNames[kFieldCount] = {
    "Model", "Manufacture", "Product", "Serial", "OS_Version", "SDK_Version", "HW_Level", "Capabilities",
    "Manual_Sensor_Support", "Manual_Exposure_Support", "Raw_Support", "Auto_Focus", "Minimum_Focus_Distance",
    "Auto_Exposure", "Sensitivity_Range", "Exposure_Time_Range", "Auto_White_Balance", "Max_Digital_Zoom",
    "Max_Frame_Duration",
};

namespace {

constexpr size_t kContextLength = 32;

std::string TrimSpaces(const char* text, size_t size) {
    size_t begin = 0;
    while (begin < size && text[begin] == ' ') ++begin;
    while (size > begin && text[size - 1] == ' ') --size;
    return std::string(text + begin, size - begin);
}

}  // namespace

HRESULT PhoneCapabilities::Parse(char* document, size_t size, std::string& error) {
    const char* const end = document + size;
    std::string values[kFieldCount];
    try {
        rapidxml::xml_document<char> xml;
        xml.parse<0>(document);
        const rapidxml::xml_node<char>* root = xml.first_node();
        for (int field = 0; field < kFieldCount; ++field) {
            const rapidxml::xml_node<char>* node =
                root != nullptr ? root->first_node(kNames[field], 0, true) : nullptr;
            if (node == nullptr) {
                error = std::string("miss mandatory node[") + kNames[field] + "]";
                return E_FAIL;
            }
            values[field] = TrimSpaces(node->value(), node->value_size());
        }
    } catch (const rapidxml::parse_error& failure) {
        // The parser may point at the terminator or, with its own markers
        // written in, anywhere inside: never read past the document.
        const char* where = failure.where<char>();
        size_t context = 0;
        if (where >= document && where < end) context = strnlen(where, std::min<size_t>(kContextLength, end - where));
        error = std::string("parse error[") + failure.what() + "] " + std::string(where ? where : "", context);
        return E_FAIL;
    } catch (const std::exception& failure) {
        error = std::string("unknow exception[") + failure.what() + "]";
        return E_FAIL;
    }
    for (int field = 0; field < kFieldCount; ++field) m_values[field] = std::move(values[field]);
    return S_OK;
}

}  // namespace optivane::phone
