"""A first look at voralix: types, terms and term application."""

import voralix
from voralix import Application, Term, Variable

person = Variable("Person")
company = Variable("Company")
works_for = Application(person, company)  # Person -> Company

print("types:", person, company, works_for)
print("repr:", repr(works_for))
print("uid of Person:", person.uid())

alice = Term("alice", person)
employer = Term("employer", works_for)
print("terms:", alice, employer)

# Applying a function term to an argument of its input type gives a term of its output type.
acme = employer(alice)
print("applied:", acme, "of type", acme.type)
print("term uid:", acme.uid())

try:
    employer(Term("acme", company))
except TypeError as exc:
    print("type error:", exc)

print("classes:", voralix.__all__)
