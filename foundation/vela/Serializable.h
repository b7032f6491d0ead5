#pragma once

#include <vela/Export.h>
#include <vela/String.h>

namespace vela {

class XmlElement;

// Base of the foundation's serialisable types. A derived class supplies the four hooks;
// the base frames what they write as <name type="typeName">members</name>.
class VELA_API Serializable {
public:
    virtual ~Serializable();

    // Writes the object under the element name into xml.
    virtual void doSerialization(const String& name, String& xml);
    virtual void deserialize(const String& xml);

protected:
    Serializable();
    Serializable(const Serializable&);
    Serializable& operator=(const Serializable&);

    virtual void serializeMembers() = 0;
    virtual void serializeMember(const String& member) = 0;
    virtual const String& typeName() = 0;

    virtual void serializeBegin(const String& name);
    virtual void serializeEnd();
    virtual void getSerializedXML(String& xml);
    virtual void deserializeBegin(const XmlElement* element);
    virtual void deserializeEnd();

    virtual void deserializeMembers() = 0;

    // Text written so far by serializeBegin, the members and serializeEnd.
    String m_xml;

private:
    String m_element;
};

}  // namespace vela
