#include <vela/Serializable.h>

namespace vela {

Serializable::Serializable() = default;
Serializable::Serializable(const Serializable&) : m_xml(), m_element() {}
Serializable& Serializable::operator=(const Serializable&)
{
    return *this;
}
Serializable::~Serializable() = default;

void Serializable::doSerialization(const String& name, String& xml)
{
    serializeBegin(name);
    serializeMembers();
    serializeEnd();
    getSerializedXML(xml);
}

void Serializable::deserialize(const String&)
{
    deserializeBegin(nullptr);
    deserializeMembers();
    deserializeEnd();
}

void Serializable::serializeBegin(const String& name)
{
    m_element = name;
    m_xml = "<";
    m_xml.append(name).append(" type=\"").append(typeName()).append("\">");
}

void Serializable::serializeEnd()
{
    m_xml.append("</").append(m_element).append(">");
}

void Serializable::getSerializedXML(String& xml)
{
    xml = m_xml;
}

void Serializable::deserializeBegin(const XmlElement*) {}

void Serializable::deserializeEnd() {}

}  // namespace vela
