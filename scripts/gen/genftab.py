#!/usr/bin/env python3
"""Generates the core function table interp/ksftab.cpp.

Usage: scripts/gen/genftab.py [FILE]   (default: interp/ksftab.cpp of the
repository that holds this script)
"""
import os
import sys

# rows: (lisp name or None, type, cname)
rows = []
def R(name, cname, t=1): rows.append((name, t, cname))
for n,c in [("#","rmhash"),("'","rmquote"),('"',"rmdquote"),("`","rmbquote"),(",","rmcomma"),("(","rmlpar"),(")","rmrpar"),(";","rmsemi")]:
    R(None, c)
R(None,"xnotimp"); R(None,"xnotimp")
for c in ["clnew","clisnew","clanswer","obisnew","obclass","obshow"]: R(None,c)
for i in range(4): R(None,"xnotimp")
assert len(rows)==20
named = []
def N(name, cname, t=1): named.append((name,t,cname))
# memory
N("GC","xgc"); N("EXPAND","xexpand"); N("ALLOC","xalloc"); N("ROOM","xroom")
N("PPRINT","xpp")
# special forms
sf = [("QUOTE","xquote"),("FUNCTION","xfunction"),("BACKQUOTE","xbquote"),("LAMBDA","xlambda"),("SETQ","xsetq"),("SETF","xsetf"),("DEFUN","xdefun"),("DEFMACRO","xdefmacro"),("COND","xcond"),("CASE","xcase"),("AND","xand"),("OR","xlor"),("LET","xlet"),("LET*","xletstar"),("IF","xif"),("PROG","xprog"),("PROG*","xprogstar"),("PROG1","xprog1"),("PROG2","xprog2"),("PROGN","xprogn"),("GO","xgo"),("RETURN","xreturn"),("DO","xdo"),("DO*","xdostar"),("DOLIST","xdolist"),("DOTIMES","xdotimes"),("CATCH","xcatch"),("THROW","xthrow"),("ERRSET","xerrset"),("BLOCK","xblock"),("RETURN-FROM","xrtnfrom"),("TAGBODY","xtagbody"),("PSETQ","xpsetq"),("FLET","xflet"),("LABELS","xlabels"),("MACROLET","xmacrolet"),("UNWIND-PROTECT","xunwindprotect"),("WHEN","xwhen"),("UNLESS","xunless"),("LOOP","xloop"),("PROGV","xprogv")]
for n,c in sf: N(n,c,2)
N("GET-LAMBDA-EXPRESSION","xgetlambda")
N("TRACE","xtrace",2); N("UNTRACE","xuntrace",2)
# 2.8 ksbfun
for n,c in [("EVAL","xeval"),("APPLY","xapply"),("FUNCALL","xfuncall"),("SET","xset"),("GENSYM","xgensym"),("MAKE-SYMBOL","xmakesymbol"),("INTERN","xintern"),("SYMBOL-NAME","xsymname"),("SYMBOL-VALUE","xsymvalue"),("SYMBOL-PLIST","xsymplist"),("SYMBOL-FUNCTION","xsymfunction"),("GET","xget"),("PUTPROP","xputprop"),("REMPROP","xremprop"),("HASH","xhash"),("BOUNDP","xboundp"),("FBOUNDP","xfboundp"),("MACROEXPAND","xmacroexpand"),("MACROEXPAND-1","xmacroexpand1"),("EVALHOOK","xevalhook"),
 ("ERROR","xerror"),("CERROR","xcerror"),("BREAK","xbreak"),("CLEAN-UP","xcleanup"),("TOP-LEVEL","xtoplevel"),("CONTINUE","xcontinue"),
 ("MAKE-ARRAY","xmkarray"),("AREF","xaref"),("VECTOR","xvector")]: N(n,c)
N("CAR","xcar"); N("CDR","xcdr")
import itertools
for L in range(2,5):
    for combo in itertools.product("AD", repeat=L):
        s="".join(combo); N("C"+s+"R","xc"+s.lower()+"r")
for n,c in [("CONS","xcons"),("LIST","xlist"),("APPEND","xappend"),("REVERSE","xreverse"),("LAST","xlast"),("NTH","xnth"),("NTHCDR","xnthcdr"),("MEMBER","xmember"),("ASSOC","xassoc"),("SUBST","xsubst"),("SUBLIS","xsublis"),("REMOVE","xremove"),("REMOVE-IF","xremif"),("REMOVE-IF-NOT","xremifnot"),("DELETE","xdelete"),("DELETE-IF","xdelif"),("DELETE-IF-NOT","xdelifnot"),("LENGTH","xlength"),("MAPC","xmapc"),("MAPCAR","xmapcar"),("MAPL","xmapl"),("MAPLIST","xmaplist"),("RPLACA","xrplca"),("RPLACD","xrplcd"),("NCONC","xnconc"),("ENDP","xendp"),("SORT","xsort"),("DSORT","xdsort")]: N(n,c)
for n,c in [("ATOM","xatom"),("SYMBOLP","xsymbolp"),("NUMBERP","xnumberp"),("NULL","xnull"),("LISTP","xlistp"),("CONSP","xconsp"),("MINUSP","xminusp"),("ZEROP","xzerop"),("PLUSP","xplusp"),("EVENP","xevenp"),("ODDP","xoddp"),("EQ","xeq"),("EQL","xeql"),("EQUAL","xequal"),("INTEGERP","xintegerp"),("FLOATP","xfloatp"),("STRINGP","xstringp"),("ARRAYP","xarrayp"),("STREAMP","xstreamp"),("OBJECTP","xobjectp"),("CHARACTERP","xcharacterp")]: N(n,c)
for n,c in [("TRUNCATE","xfix"),("FLOAT","xfloat"),("+","xadd"),("-","xsub"),("*","xmul"),("/","xdiv"),("1+","xadd1"),("1-","xsub1"),("REM","xrem"),("MIN","xmin"),("MAX","xmax"),("ABS","xabs"),("SIN","xsin"),("COS","xcos"),("TAN","xtan"),("ASIN","xasin"),("ACOS","xacos"),("ATAN","xatan"),("EXPT","xexpt"),("EXP","xexp"),("LOG","xlog"),("SQRT","xsqrt"),("RANDOM","xrand"),("GCD","xgcd"),("LOGAND","xlogand"),("LOGIOR","xlogior"),("LOGXOR","xlogxor"),("LOGNOT","xlognot"),(">>","xshr"),("<<","xshl"),("<","xlss"),("<=","xleq"),("=","xequ"),("/=","xneq"),(">=","xgeq"),(">","xgtr")]: N(n,c)
for n,c in [("STRCAT","xstrcat"),("SUBSEQ","xsubseq"),("STRING","xstring"),("CHAR","xchar")]: N(n,c)
for n,c in [("STRING<","xstrlss"),("STRING<=","xstrleq"),("STRING=","xstreql"),("STRING/=","xstrneq"),("STRING>=","xstrgeq"),("STRING>","xstrgtr"),("STRING-LESSP","xstrilss"),("STRING-NOT-GREATERP","xstrileq"),("STRING-EQUAL","xstrieql"),("STRING-NOT-EQUAL","xstrineq"),("STRING-NOT-LESSP","xstrigeq"),("STRING-GREATERP","xstrigtr"),
 ("CHAR<","xchrlss"),("CHAR<=","xchrleq"),("CHAR=","xchreql"),("CHAR/=","xchrneq"),("CHAR>=","xchrgeq"),("CHAR>","xchrgtr"),("CHAR-LESSP","xchrilss"),("CHAR-NOT-GREATERP","xchrileq"),("CHAR-EQUAL","xchrieql"),("CHAR-NOT-EQUAL","xchrineq"),("CHAR-NOT-LESSP","xchrigeq"),("CHAR-GREATERP","xchrigtr")]: N(n,c)
for n,c in [("STRING-UPCASE","xupcase"),("STRING-DOWNCASE","xdowncase"),("NSTRING-UPCASE","xnupcase"),("NSTRING-DOWNCASE","xndowncase"),("STRING-TRIM","xtrim"),("STRING-LEFT-TRIM","xlefttrim"),("STRING-RIGHT-TRIM","xrighttrim"),
 ("CHAR-INT","xcharint"),("INT-CHAR","xintchar"),("UPPER-CASE-P","xuppercasep"),("LOWER-CASE-P","xlowercasep"),("BOTH-CASE-P","xbothcasep"),("DIGIT-CHAR-P","xdigitp"),("ALPHANUMERICP","xalphanumericp"),("CHAR-UPCASE","xchupcase"),("CHAR-DOWNCASE","xchdowncase"),("DIGIT-CHAR","xdigitchar"),("CHAR-CODE","xcharcode"),("CODE-CHAR","xcodechar")]: N(n,c)
# 2.9
for n,c in [("READ","xread"),("PRINT","xprint"),("PRIN1","xprin1"),("PRINC","xprinc"),("TERPRI","xterpri"),("FLATSIZE","xflatsize"),("FLATC","xflatc"),("OPEN","xopen"),("FORMAT","xformat"),("CLOSE","xclose"),("READ-CHAR","xrdchar"),("PEEK-CHAR","xpkchar"),("WRITE-CHAR","xwrchar"),("READ-LINE","xreadline"),("READ-BYTE","xrdbyte"),("WRITE-BYTE","xwrbyte"),("MAKE-STRING-INPUT-STREAM","xmkstrinput"),("MAKE-STRING-OUTPUT-STREAM","xmkstroutput"),("GET-OUTPUT-STREAM-STRING","xgetstroutput"),("GET-OUTPUT-STREAM-LIST","xgetlstoutput"),("CODE","xcode")]: N(n,c)
# 2.10
N("SEND","xsend"); N("SEND-SUPER","xsendsuper"); N("DEFSTRUCT","xdefstruct",2)
for n,c in [("%STRUCT-TYPE-P","xstrtypep"),("%MAKE-STRUCT","xmkstruct"),("%COPY-STRUCT","xcpystruct"),("%STRUCT-REF","xstrref"),("%STRUCT-SET","xstrset")]: N(n,c)
# 2.11
for n,c in [("BAKTRACE","xbaktrace"),("LOAD","xload"),("DRIBBLE","xtranscript"),("TYPE-OF","xtype"),("EXIT","xexit"),("ADDRESS-OF","xaddrs"),("ATOI","xatoi"),("ATOF","xatof"),("EXECUTE","xexecute"),("GET-KEY","xgetkey"),("CHECK","xcheck"),("TIME","xtime"),("SLEEP","xsleep"),("CLOCK","xclock"),("GETTICKS","xgetticks")]: N(n,c)
assert len(named)==284, len(named)
rows += named[:172]
rows += [(None,1,"xnotimp"),(None,1,"xnotimp")]
rows += named[172:]
assert len(rows)==306
decls = sorted(set(c for _,_,c in rows))
out = ["// The core function table: row indexes are recorded in SUBR nodes, so rows",
"// are only ever appended. Rows 0-7 are the reader's macro characters, 10-15",
"// the object system's message handlers; unnamed rows are placeholders.",
"// Generated by scripts/gen/genftab.py.",
'#include "interp/ks.h"', ""]
for c in decls: out.append(f"node {c}();")
out += ["", "const funrow funtab1[] = {"]
def q(s):
    return "nullptr" if s is None else '"' + s.replace('\\','\\\\').replace('"','\\"') + '"'
for i,(n,t,c) in enumerate(rows):
    out.append(f"    /* {i:3d} */ {{{q(n)}, {t}, {c}}},")
out.append("    {nullptr, 0, nullptr},")
out.append("};")
out.append("")
path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
    "interp", "ksftab.cpp")
with open(path, "w") as f:
    f.write("\n".join(out))
