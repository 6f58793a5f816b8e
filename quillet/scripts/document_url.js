// The document's address.
return String(d.URL);
