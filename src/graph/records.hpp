// Node and edge records. Copies share the type, the term and the property
// dict; every copy owns its own references, so each holder reports exactly the
// references it owns to the garbage collector.
#pragma once

#include <Python.h>

#include "term/term.hpp"
#include "types/type.hpp"
#include "util/ref.hpp"

namespace voralix {

struct NodeRecord {
    Type type;
    Ref properties; // a dict; null only after the garbage collector cleared the holder

    int traverse(visitproc visit, void* arg) const { return properties.visit(visit, arg); }
    void clear() noexcept { properties.reset(); }
};

struct EdgeRecord {
    Term term;
    NodeRecord start;
    NodeRecord end;
    Ref properties;

    int traverse(visitproc visit, void* arg) const
    {
        if (int r = start.traverse(visit, arg)) return r;
        if (int r = end.traverse(visit, arg)) return r;
        return properties.visit(visit, arg);
    }
    void clear() noexcept
    {
        start.clear();
        end.clear();
        properties.reset();
    }
};

// "node:" + type uid and "edge:" + term uid, digested.
Digest node_uid(const NodeRecord& n);
Digest edge_uid(const EdgeRecord& e);

// The str() forms: Node(T) and Edge(name: S -> E).
std::string node_text(const NodeRecord& n);
std::string edge_text(const EdgeRecord& e);

// Two nodes have equal uids exactly when their types do: compares the cached
// type digests instead of digesting twice more.
inline bool same_node_uid(const NodeRecord& a, const NodeRecord& b)
{
    return a.type.node() == b.type.node() || a.type.uid_digest() == b.type.uid_digest();
}

} // namespace voralix
